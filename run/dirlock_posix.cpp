#include "run/dirlock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "run/filesys.h"

const char* const kDirLockName = ".kiln.lock";

namespace {

// The lock file of the lock this process holds, for RemoveHeldDirLockFile,
// which may run where no object is at hand. Empty when none is held.
std::string heldLockPath;
int heldLockFd = -1;

// A run that releases its lock removes the file first; whoever locked the
// removed file in that moment must start again on a new one.
constexpr int kLockAttempts = 20;

bool SameFile(int fd, const std::string& path) {
  struct stat opened, named;
  if (fstat(fd, &opened) != 0 || lstat(path.c_str(), &named) != 0) return false;
  return opened.st_dev == named.st_dev && opened.st_ino == named.st_ino;
}

}  // namespace

NamedLock LockFileByName(const std::string& path, bool wait) {
  NamedLock lock;
  for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
    // O_NOFOLLOW: a link planted under the lock file's name is not followed
    // to some other file.
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
      lock.errorText = std::strerror(errno);
      lock.result = DirLockResult::Failed;
      return lock;
    }
    int rc;
    do rc = flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB)); while (rc != 0 && wait && errno == EINTR);
    if (rc != 0) {
      int error = errno;
      close(fd);
      if (error == EWOULDBLOCK || error == EINTR) {
        lock.result = DirLockResult::Busy;
        return lock;
      }
      // Some network file systems have no locks; the lock file they let us
      // create stays a sign, and is removed again at the end.
      lock.errorText = std::strerror(error);
      lock.result = DirLockResult::Unsupported;
      return lock;
    }
    if (SameFile(fd, path)) {
      lock.fd = fd;
      lock.result = DirLockResult::Locked;
      return lock;
    }
    close(fd);
  }
  lock.result = DirLockResult::Busy;
  return lock;
}

void UnlockFileByName(int fd, const std::string& path) {
  if (fd < 0) return;
  // Removed while still locked, so that a program waiting for it re-checks
  // and makes a new one instead of locking a file nobody can see.
  unlink(path.c_str());
  close(fd);
}

DirLockResult DirLock::Acquire(const std::string& directory) {
  Release();
  errorText_.clear();
  std::string path = directory;
  if (path.empty() || path.back() != kDirSeparator) path += kDirSeparator;
  path += kDirLockName;

  NamedLock lock = LockFileByName(path, false);
  if (lock.result != DirLockResult::Locked) {
    errorText_ = lock.errorText;
    return lock.result;
  }
  const int fd = lock.fd;
  fd_ = fd;
  path_ = path;
  heldLockPath = path;
  heldLockFd = fd;
  return DirLockResult::Locked;
}

void DirLock::Release() {
  if (fd_ < 0) return;
  if (heldLockFd == fd_) heldLockFd = -1;
  UnlockFileByName(fd_, path_);
  fd_ = -1;
  if (heldLockPath == path_) heldLockPath.clear();
  path_.clear();
}

bool DirLock::held() const { return fd_ >= 0; }

int HeldDirLockDescriptor() { return heldLockFd; }

void RemoveHeldDirLockFile() {
  if (!heldLockPath.empty()) unlink(heldLockPath.c_str());
}
