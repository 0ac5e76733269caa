// Shared by the METAFONT and gftopk stand-ins that the Wine tests put on the
// PATH in place of the real programs: their controls come from environment
// variables, and each invocation can be appended to a record file so that the
// test driver sees which jobs ran, in which order and in which directory.
#pragma once

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace standin {

inline std::string Env(const char* name) {
  char buffer[1024];
  DWORD n = GetEnvironmentVariableA(name, buffer, sizeof buffer);
  if (n == 0 || n >= sizeof buffer) return std::string();
  return std::string(buffer, n);
}

// A control such as KILN_STANDIN_FAIL holds font names separated by commas;
// an entry may carry a value after a colon ("cmr10:-1").
inline bool ListEntry(const std::string& list, const std::string& name, std::string* value) {
  size_t start = 0;
  while (start <= list.size()) {
    size_t end = list.find(',', start);
    if (end == std::string::npos) end = list.size();
    std::string item = list.substr(start, end - start);
    std::string key = item, val;
    size_t colon = item.find(':');
    if (colon != std::string::npos) {
      key = item.substr(0, colon);
      val = item.substr(colon + 1);
    }
    if (!key.empty() && key == name) {
      if (value) *value = val;
      return true;
    }
    start = end + 1;
  }
  return false;
}

inline void Record(const std::string& line) {
  std::string path = Env("KILN_STANDIN_RECORD");
  if (path.empty()) return;
  FILE* f = std::fopen(path.c_str(), "ab");
  if (!f) return;
  char dir[MAX_PATH] = "";
  GetCurrentDirectoryA(sizeof dir, dir);
  std::fprintf(f, "%s|%s\n", line.c_str(), dir);
  std::fclose(f);
}

inline bool WriteText(const std::string& name, const std::string& text) {
  FILE* f = std::fopen(name.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && ok;
}

inline void SleepIfAsked() {
  std::string ms = Env("KILN_STANDIN_SLEEP_MS");
  if (!ms.empty()) Sleep(static_cast<DWORD>(std::strtoul(ms.c_str(), nullptr, 10)));
}

}  // namespace standin
