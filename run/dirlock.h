// The lock on a target directory. Two runs building fonts in one directory
// at once would both run METAFONT there and overwrite each other's NAME.tfm
// and NAME.log before either is filed, so a run holds this lock from just
// after entering the directory until its batch has ended, and a second run
// refuses to start.
//
// POSIX: the lock file kDirLockName in the directory, locked with flock; the
// kernel drops the lock when its holder ends, however it ends, so a lock
// file left behind by a run that was killed locks nothing. Win32: the same
// file opened without sharing and deleted when its handle closes.
#pragma once

#include <string>

extern const char* const kDirLockName;  // ".kiln.lock"

enum class DirLockResult {
  Locked,       // this run holds the directory
  Busy,         // another run holds it
  Failed,       // the lock file cannot be created there (errorText says why)
  Unsupported,  // the file system has no locks: the run goes on unlocked
};

class DirLock {
 public:
  DirLock() = default;
  ~DirLock() { Release(); }
  DirLock(const DirLock&) = delete;
  DirLock& operator=(const DirLock&) = delete;

  // Takes the lock of directory (an absolute path keeps Release independent
  // of later changes of the current directory).
  DirLockResult Acquire(const std::string& directory);
  // Gives the lock up and removes the lock file; nothing when not held.
  void Release();
  bool held() const;
  // The system's text for Failed and Unsupported.
  const std::string& errorText() const { return errorText_; }

 private:
  std::string path_;
  std::string errorText_;
#ifdef _WIN32
  void* handle_ = nullptr;
#else
  int fd_ = -1;
#endif
};

#ifndef _WIN32
// The descriptor of the lock this process holds, or -1. Child processes
// keep it open, so that the lock lasts until the last of them has ended.
int HeldDirLockDescriptor();

// The same kind of lock on a file of any name (a font that one of several
// programs builds). wait: until the other holder is done. Released by
// UnlockFileByName, which removes the file first, as DirLock does;
// children do not inherit it.
struct NamedLock {
  int fd = -1;                  // the locked file's descriptor when Locked
  DirLockResult result = DirLockResult::Failed;  // Failed: not even opened
  std::string errorText;        // for Failed and Unsupported
};
NamedLock LockFileByName(const std::string& path, bool wait);
void UnlockFileByName(int fd, const std::string& path);
#endif

// For a program that ends at once from anywhere (an unreadable definition
// file): removes the lock file of the lock this process holds, if any. The
// lock itself ends with the process.
void RemoveHeldDirLockFile();
