// The per-user store of the one value "DataFilePath": the registry under
// HKEY_CURRENT_USER on Win32, a key file under the XDG config directory on
// POSIX.
#pragma once

#include <string>

enum class KeyStatus {
  Ok,
  KeyMissing,     // the program key cannot be opened
  ValueMissing,   // no value, or one too long to read
  CreateFailed,   // the program key cannot be created
  WriteFailed,    // the value cannot be written
  DeleteFailed,   // the program key cannot be deleted
};

class KeyStore {
 public:
  virtual ~KeyStore() = default;
  virtual KeyStatus ReadDataFilePath(std::string& path) = 0;
  virtual KeyStatus WriteDataFilePath(const std::string& path) = 0;
  virtual KeyStatus DeleteProgramKey() = 0;
};
