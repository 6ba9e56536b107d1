// Loading a module into libopenmpt for the tools' tests, with every logged message kept.
#include "openmpt_load.h"

static void collectLog(const char* message, void* user) { static_cast<Loaded*>(user)->log.emplace_back(message); }

std::unique_ptr<Loaded> loadModule(const std::vector<uint8_t>& bytes) {
  auto loaded = std::make_unique<Loaded>();
  int error = 0;
  const char* errorText = nullptr;
  loaded->module = openmpt_module_create_from_memory2(bytes.data(), bytes.size(), collectLog, loaded.get(),
                                                      nullptr, nullptr, &error, &errorText, nullptr);
  if (!loaded->module) loaded->log.push_back("load failed: " + std::string(errorText ? errorText : "no reason given"));
  openmpt_free_string(errorText);
  return loaded;
}

std::string metadata(openmpt_module* module, const char* key) {
  const char* value = openmpt_module_get_metadata(module, key);
  std::string text = value ? value : "";
  openmpt_free_string(value);
  return text;
}
