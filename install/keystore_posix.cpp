// The key file that stands in for the program's registry key. Its states
// match the registry's as the lookup sees them: no file (no key), a file
// without a usable "DataFilePath=" line (no value, or one of 260 bytes or
// more, which the registry read refuses too), and a value. Writes go through
// a temporary file and a rename, so a failed write never leaves half a line.
#include "install/keystore_posix.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <pwd.h>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kValuePrefix[] = "DataFilePath=";
// The registry read has a 260-byte buffer, NUL included.
const std::size_t kMaxValueLength = 259;

std::string DefaultConfigHome() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  // A relative XDG_CONFIG_HOME is invalid and must be ignored.
  if (xdg != nullptr && xdg[0] == '/') return xdg;
  const char* home = std::getenv("HOME");
  if (home == nullptr || home[0] == '\0') {
    const passwd* entry = getpwuid(getuid());
    home = entry != nullptr ? entry->pw_dir : nullptr;
  }
  return std::string(home != nullptr ? home : "") + "/.config";
}

bool IsDirectory(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// Every missing segment of path, as RegCreateKeyA creates the missing
// segments of a key path.
bool MakeDirectories(const std::string& path) {
  if (path.empty() || IsDirectory(path)) return !path.empty();
  std::string::size_type slash = path.find_last_of('/');
  if (slash != std::string::npos && slash > 0 && !MakeDirectories(path.substr(0, slash)))
    return false;
  return mkdir(path.c_str(), 0700) == 0 || (errno == EEXIST && IsDirectory(path));
}

bool StartsWithValuePrefix(const std::string& line) {
  return line.compare(0, sizeof kValuePrefix - 1, kValuePrefix) == 0;
}

}  // namespace

FileKeyStore::FileKeyStore(std::string configHome) {
  if (configHome.empty()) configHome = DefaultConfigHome();
  keyDirectory_ = configHome + "/fontkiln";
  keyFile_ = keyDirectory_ + "/kiln";
}

KeyStatus FileKeyStore::ReadDataFilePath(std::string& path) {
  if (!IsDirectory(keyDirectory_)) return KeyStatus::KeyMissing;
  struct stat status;
  if (stat(keyFile_.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
    return KeyStatus::KeyMissing;
  std::ifstream in(keyFile_, std::ios::binary);
  if (!in) return KeyStatus::KeyMissing;
  std::string line;
  while (std::getline(in, line)) {
    if (!StartsWithValuePrefix(line)) continue;
    std::string value = line.substr(sizeof kValuePrefix - 1);
    // A file edited by hand on another system may end its lines in CR LF.
    if (!value.empty() && value.back() == '\r') value.pop_back();
    if (value.size() > kMaxValueLength) return KeyStatus::ValueMissing;
    path = value;
    return KeyStatus::Ok;
  }
  return KeyStatus::ValueMissing;
}

KeyStatus FileKeyStore::WriteDataFilePath(const std::string& path) {
  if (!MakeDirectories(keyDirectory_)) return KeyStatus::CreateFailed;
  // A line break would end the value early and make the rest a line of its
  // own; such a path cannot be stored in this file.
  if (path.find_first_of(std::string("\n\0", 2)) != std::string::npos)
    return KeyStatus::WriteFailed;

  // Other lines of an existing file are kept, as other values of a key are.
  std::string content;
  {
    std::ifstream in(keyFile_, std::ios::binary);
    std::string line;
    while (in && std::getline(in, line))
      if (!StartsWithValuePrefix(line)) content += line + "\n";
  }
  content += kValuePrefix + path + "\n";

  std::string temporary = keyFile_ + ".new." + std::to_string(getpid());
  std::FILE* out = std::fopen(temporary.c_str(), "wb");
  if (out == nullptr) return KeyStatus::WriteFailed;
  bool ok = std::fwrite(content.data(), 1, content.size(), out) == content.size();
  ok = std::fflush(out) == 0 && ok;
  ok = fsync(fileno(out)) == 0 && ok;
  ok = std::fclose(out) == 0 && ok;
  if (ok) ok = std::rename(temporary.c_str(), keyFile_.c_str()) == 0;
  if (!ok) {
    std::remove(temporary.c_str());
    return KeyStatus::WriteFailed;
  }
  return KeyStatus::Ok;
}

KeyStatus FileKeyStore::DeleteProgramKey() {
  struct stat status;
  if (lstat(keyFile_.c_str(), &status) != 0 || S_ISDIR(status.st_mode))
    return KeyStatus::DeleteFailed;
  if (unlink(keyFile_.c_str()) != 0) return KeyStatus::DeleteFailed;
  // The directory goes too when nothing else lives in it; its parent (the
  // user's config directory) always stays.
  rmdir(keyDirectory_.c_str());
  return KeyStatus::Ok;
}
