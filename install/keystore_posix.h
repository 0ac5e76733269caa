// The per-user key file that stands in for the registry on POSIX:
// $XDG_CONFIG_HOME/fontkiln/kiln (or ~/.config/fontkiln/kiln), holding the
// line "DataFilePath=<path>". The directory is the program key, the file's
// value line the value.
#pragma once

#include <string>

#include "install/keystore.h"

class FileKeyStore : public KeyStore {
 public:
  // configHome: empty = from XDG_CONFIG_HOME, else HOME/.config.
  explicit FileKeyStore(std::string configHome = std::string());
  KeyStatus ReadDataFilePath(std::string& path) override;
  KeyStatus WriteDataFilePath(const std::string& path) override;
  KeyStatus DeleteProgramKey() override;
  const std::string& KeyDirectory() const { return keyDirectory_; }
  const std::string& KeyFile() const { return keyFile_; }

 private:
  std::string keyDirectory_;
  std::string keyFile_;
};
