#include "run/filelock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

bool FileLock::Lock(const std::string& path) {
  Unlock();
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
  if (fd < 0) return false;
  int rc;
  do rc = flock(fd, LOCK_EX); while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    close(fd);
    return false;
  }
  fd_ = fd;
  return true;
}

void FileLock::Unlock() {
  if (fd_ < 0) return;
  close(fd_);
  fd_ = -1;
}
