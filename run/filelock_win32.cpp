#include "run/filelock.h"

#include <windows.h>

namespace {

// Past the end of any ls-R: the lock stops other lockers, never a reader.
constexpr DWORD kLockOffsetHigh = 0x7fffffff;

}  // namespace

bool FileLock::Lock(const std::string& path) {
  Unlock();
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  OVERLAPPED where = {};
  where.OffsetHigh = kLockOffsetHigh;
  if (!LockFileEx(handle, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &where)) {
    CloseHandle(handle);
    return false;
  }
  handle_ = handle;
  return true;
}

void FileLock::Unlock() {
  if (!handle_) return;
  OVERLAPPED where = {};
  where.OffsetHigh = kLockOffsetHigh;
  UnlockFileEx(handle_, 0, 1, 0, &where);
  CloseHandle(handle_);
  handle_ = nullptr;
}
