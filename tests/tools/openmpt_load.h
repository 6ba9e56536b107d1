// Loading a module into libopenmpt for the tools' tests: a holder that frees the module and
// keeps every message libopenmpt logged while loading, and a reader for one metadata field.
#pragma once

#include <libopenmpt/libopenmpt.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct Loaded {
  openmpt_module* module = nullptr;
  std::vector<std::string> log;
  Loaded() = default;
  Loaded(const Loaded&) = delete;
  Loaded& operator=(const Loaded&) = delete;
  ~Loaded() {
    if (module) openmpt_module_destroy(module);
  }
};

// Loads bytes with a log callback that records every message; module stays null on failure
// and the log then ends with why.
std::unique_ptr<Loaded> loadModule(const std::vector<uint8_t>& bytes);

// One metadata field ("type", "title", ...), empty when libopenmpt has none.
std::string metadata(openmpt_module* module, const char* key);
