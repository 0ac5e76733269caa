#include "ui/term/parent_process.h"

#include <unistd.h>

#include <climits>
#include <fstream>
#include <iterator>

#if defined(__linux__) && !defined(KILN_GENERIC_POSIX)
#define KILN_PROC_FILES 1
#endif

namespace {

#if defined(KILN_PROC_FILES)
bool ReadFile(const std::string& path, std::string& text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// Field 22 of /proc/PID/stat, the start time in clock ticks since boot. The
// command name before it (field 2, in parentheses) may hold blanks and
// parentheses itself, so the fields are counted from its last ")".
std::string StartTimeOf(long pid) {
  std::string stat;
  if (!ReadFile("/proc/" + std::to_string(pid) + "/stat", stat)) return std::string();
  std::size_t close = stat.rfind(')');
  if (close == std::string::npos) return std::string();
  std::size_t at = close + 1;
  for (int field = 3; field <= 22; ++field) {
    while (at < stat.size() && stat[at] == ' ') ++at;
    std::size_t end = stat.find(' ', at);
    if (end == std::string::npos) end = stat.size();
    if (field == 22) return stat.substr(at, end - at);
    at = end;
  }
  return std::string();
}
#endif

}  // namespace

bool ReadParentProcess(ParentProcess& parent) {
  parent = ParentProcess();
#if defined(KILN_PROC_FILES)
  const long pid = static_cast<long>(getppid());
  if (pid <= 1) return false;
  const std::string proc = "/proc/" + std::to_string(pid);
  std::string cmdline;
  if (!ReadFile(proc + "/cmdline", cmdline) || cmdline.empty()) return false;
  std::size_t start = 0;
  while (start < cmdline.size()) {
    std::size_t end = cmdline.find('\0', start);
    if (end == std::string::npos) end = cmdline.size();
    parent.argv.push_back(cmdline.substr(start, end - start));
    start = end + 1;
  }
  char directory[PATH_MAX];
  ssize_t n = readlink((proc + "/cwd").c_str(), directory, sizeof directory - 1);
  if (n <= 0) return false;
  parent.directory.assign(directory, static_cast<std::size_t>(n));
  parent.startTime = StartTimeOf(pid);
  if (parent.startTime.empty()) return false;
  parent.pid = pid;
  // Read after the rest: had the parent ended meanwhile, kiln would now
  // belong to another.
  return static_cast<long>(getppid()) == pid;
#else
  return false;
#endif
}

bool ProcessAlive(long pid, const std::string& startTime) {
#if defined(KILN_PROC_FILES)
  return pid > 0 && !startTime.empty() && StartTimeOf(pid) == startTime;
#else
  (void)pid;
  (void)startTime;
  return false;
#endif
}
