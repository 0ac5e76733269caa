#include "fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "deffile/reader.h"

const std::string& FuzzDirectory() {
  static const std::string directory = [] {
    char pattern[] = "/tmp/kiln-fuzz-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (!made || chdir(made) != 0) std::abort();
    return std::string(made);
  }();
  return directory;
}

void ServeFuzzInput(const std::string& path, const uint8_t* data, std::size_t size) {
  static const bool fromDisk = std::getenv("KILN_FUZZ_FROM_DISK") != nullptr;
  if (!fromDisk) {
    ServeDefinitionFromMemory(path, reinterpret_cast<const char*>(data), size);
    return;
  }
  FuzzDirectory();
  ServeDefinitionFromDisk();
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file || (size && std::fwrite(data, 1, size, file) != size) || std::fclose(file) != 0)
    std::abort();
}
