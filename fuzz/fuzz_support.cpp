#include "fuzz/fuzz_support.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

const std::string& FuzzDirectory() {
  static const std::string directory = [] {
    char pattern[] = "/tmp/kiln-fuzz-XXXXXX";
    const char* made = mkdtemp(pattern);
    if (!made || chdir(made) != 0) std::abort();
    return std::string(made);
  }();
  return directory;
}

void WriteFuzzFile(const std::string& name, const uint8_t* data, std::size_t size) {
  FuzzDirectory();
  FILE* file = std::fopen(name.c_str(), "wb");
  if (!file) std::abort();
  if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
  std::fclose(file);
}
