#include "run/filesys.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

const char kDirSeparator = '/';

bool PathExists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

int DirectoryStatus(const std::string& path) {
  struct stat status;
  if (stat(path.c_str(), &status) != 0) return -1;
  return S_ISDIR(status.st_mode) ? 1 : 0;
}

bool IsRegularFile(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

bool MakeDirectory(const std::string& path) { return mkdir(path.c_str(), 0777) == 0; }

bool RemoveFile(const std::string& path) { return std::remove(path.c_str()) == 0; }

bool RemoveEmptyDirectory(const std::string& path) { return rmdir(path.c_str()) == 0; }

bool ListDirectory(const std::string& path, std::vector<std::string>& names) {
  names.clear();
  DIR* directory = opendir(path.c_str());
  if (!directory) return false;
  while (const dirent* entry = readdir(directory)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  closedir(directory);
  return true;
}

bool ReplaceFileWith(const std::string& source, const std::string& destination) {
  return std::rename(source.c_str(), destination.c_str()) == 0;
}

std::string CurrentDirectory() {
  std::string buffer(256, '\0');
  for (;;) {
    if (getcwd(&buffer[0], buffer.size()) != nullptr) {
      buffer.resize(std::strlen(buffer.c_str()));
      return buffer;
    }
    if (errno != ERANGE) return std::string();
    buffer.resize(buffer.size() * 2);
  }
}

bool ChangeDirectory(const std::string& path) { return chdir(path.c_str()) == 0; }

std::string LastErrorText() { return std::strerror(errno); }
