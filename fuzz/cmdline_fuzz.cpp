// ParseCommandLine over any command tail.
#include <cstdint>
#include <string>

#include "run/cmdline.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  ParseCommandLine(text);
  if (argCount != static_cast<int>(argVector.size()) || argCount < 1 ||
      argCount > kMaxArgumentWords + 1 || argVector[0] != "kiln.exe")
    __builtin_trap();
  for (int i = 1; i < argCount; ++i)
    if (argVector[i].empty() || argVector[i].find(' ') != std::string::npos)
      __builtin_trap();
  return 0;
}
