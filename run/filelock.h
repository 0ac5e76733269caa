// An exclusive lock on a file that several programs update in place (a
// tree's ls-R), held while the object lives. POSIX: flock, which the kernel
// drops when the holder ends however it ends. Win32: LockFileEx on a byte
// range far past any end of file, so that readers of the file are not
// stopped by it.
#pragma once

#include <string>

class FileLock {
 public:
  FileLock() = default;
  ~FileLock() { Unlock(); }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  // Locks the existing file path, waiting for another holder; false when
  // it cannot be opened or the file system has no locks (the caller goes
  // on unlocked).
  bool Lock(const std::string& path);
  void Unlock();

 private:
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
};
