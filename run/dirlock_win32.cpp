#include "run/dirlock.h"

#include <windows.h>

#include "run/filesys.h"
#include "ui/log.h"

const char* const kDirLockName = ".kiln.lock";

namespace {

// A lock file being deleted by the run that just ended refuses to open for
// a moment; it is tried again before the directory counts as busy.
constexpr int kLockAttempts = 20;
constexpr DWORD kRetryMs = 50;

std::string SystemErrorText(DWORD error) {
  char text[256] = "";
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, error, 0, text, sizeof text, nullptr);
  while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == ' '))
    text[--n] = '\0';
  if (n == 0) return StringPrintf("Error %lu", static_cast<unsigned long>(error));
  return StringPrintf("%s (Error %lu)", text, static_cast<unsigned long>(error));
}

}  // namespace

DirLockResult DirLock::Acquire(const std::string& directory) {
  Release();
  errorText_.clear();
  std::string path = directory;
  if (path.empty() || (path.back() != '\\' && path.back() != '/')) path += kDirSeparator;
  path += kDirLockName;

  DWORD error = 0;
  for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
    // No sharing: while this handle is open nobody else can open the file,
    // and the system deletes it when the handle closes, also when the
    // process ends without closing it.
    HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0,
                                nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      handle_ = handle;
      path_ = path;
      return DirLockResult::Locked;
    }
    error = GetLastError();
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION)
      return DirLockResult::Busy;
    // Access is also refused to a file whose deletion is pending; a
    // directory that cannot be written refuses it every time.
    if (error != ERROR_ACCESS_DENIED) break;
    Sleep(kRetryMs);
  }
  errorText_ = SystemErrorText(error);
  return DirLockResult::Failed;
}

void DirLock::Release() {
  if (!handle_) return;
  CloseHandle(static_cast<HANDLE>(handle_));
  handle_ = nullptr;
  path_.clear();
}

bool DirLock::held() const { return handle_ != nullptr; }

// The handle closes with the process, and the file goes with it.
void RemoveHeldDirLockFile() {}
