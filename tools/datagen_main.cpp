// orrery_datagen FOLDER: writes the five data files of the demo into FOLDER.
#include "datagen.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

struct DataFile {
  const char* name;
  std::vector<uint8_t> (*build)();
};

constexpr DataFile dataFiles[] = {
    {"cmap.tga", cmapImage},
    {"color2.tga", endImage},
    {"tesilmap.tga", rollingHeights},
    {"tesilmapc.tga", ridgedHeights},
    {"marigold.it", marigoldModule},
};

bool writeFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    std::fprintf(stderr, "orrery_datagen: opening %s failed: %s\n", path.c_str(), std::strerror(errno));
    return false;
  }
  bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  if (!written) std::fprintf(stderr, "orrery_datagen: writing %s failed: %s\n", path.c_str(), std::strerror(errno));
  if (std::fclose(file) != 0 && written) {
    std::fprintf(stderr, "orrery_datagen: closing %s failed: %s\n", path.c_str(), std::strerror(errno));
    written = false;
  }
  return written;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: orrery_datagen FOLDER\n");
    return 2;
  }
  std::string folder = argv[1];
  for (const DataFile& file : dataFiles)
    if (!writeFile(folder + "/" + file.name, file.build())) return 1;
  return 0;
}
