// The registry key store: the value "DataFilePath" (REG_SZ) under
// HKEY_CURRENT_USER\Software\Fontkiln\kiln. A value is read into a buffer of
// kRegistryPathBytes bytes, so a path of 260 characters or more is refused.
#pragma once

#include <string>

#include "install/keystore.h"

extern const char* const kProgramKeyPath;    // "Software\\Fontkiln\\kiln"
extern const char* const kDataFilePathValue;  // "DataFilePath"
constexpr unsigned long kRegistryPathBytes = 260;

class RegistryKeyStore : public KeyStore {
 public:
  // keyPath below HKEY_CURRENT_USER; tests use a scratch key.
  explicit RegistryKeyStore(std::string keyPath = kProgramKeyPath);
  KeyStatus ReadDataFilePath(std::string& path) override;
  KeyStatus WriteDataFilePath(const std::string& path) override;
  KeyStatus DeleteProgramKey() override;
  const std::string& KeyPath() const { return keyPath_; }

 private:
  std::string keyPath_;
};
