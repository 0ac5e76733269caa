#include "fuzz/fuzz_support.h"

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
