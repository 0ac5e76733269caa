#include "run/filesys.h"

#include <windows.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <direct.h>
#include <io.h>
#include <string>

const char kDirSeparator = '\\';

bool PathExists(const std::string& path) { return _access(path.c_str(), 0) == 0; }

int DirectoryStatus(const std::string& path) {
  // _stat refuses a path with a trailing separator ("c:\\fonts\\pk\\"), which
  // users write often; the attributes call takes it.
  DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return -1;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? 1 : 0;
}

bool IsRegularFile(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         !(attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE));
}

bool MakeDirectory(const std::string& path) { return _mkdir(path.c_str()) == 0; }

bool RemoveFile(const std::string& path) { return std::remove(path.c_str()) == 0; }

bool RemoveEmptyDirectory(const std::string& path) {
  return RemoveDirectoryA(path.c_str()) != 0;
}

bool ListDirectory(const std::string& path, std::vector<std::string>& names) {
  names.clear();
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return GetLastError() == ERROR_FILE_NOT_FOUND;
  do {
    std::string name = found.cFileName;
    if (name != "." && name != "..") names.push_back(name);
  } while (FindNextFileA(search, &found));
  FindClose(search);
  return true;
}

bool ReplaceFileWith(const std::string& source, const std::string& destination) {
  // rename() refuses an existing destination on Windows.
  return MoveFileExA(source.c_str(), destination.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

std::string CurrentDirectory() {
  DWORD needed = GetCurrentDirectoryA(0, nullptr);
  if (needed == 0) return std::string();
  std::string buffer(needed, '\0');
  DWORD written = GetCurrentDirectoryA(needed, &buffer[0]);
  buffer.resize(written);
  return buffer;
}

bool ChangeDirectory(const std::string& path) { return _chdir(path.c_str()) == 0; }

std::string LastErrorText() { return std::strerror(errno); }
