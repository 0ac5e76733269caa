// Finding the definition file through the key store, recording it, and
// removing the program's key: the rules and messages shared by both front
// ends. The install dialog itself belongs to the front end.
#pragma once

#include <string>

#include "install/keystore.h"
#include "ui/dialogue.h"

class InstallPrompt {
 public:
  virtual ~InstallPrompt() = default;
  // The install dialog: 1 when a path was written to the store, else 0.
  virtual int RunInstallDialog() = 0;
};

int ReadDefinitionFilePath(KeyStore& keys, std::string& path);
int LocateDefinitionFile(KeyStore& keys, InstallPrompt& prompt, std::string& path);

enum class InstallResult { Written, NoSuchFile, Failed };
// The install dialog's "レジストリへ書き込む(&W)": the existence test, then the
// key and the value, each failure with its message. NoSuchFile keeps the
// dialog open; Failed ends it with 0.
InstallResult InstallDefinitionPath(KeyStore& keys, const std::string& typed,
                                    BoxOwner dialog);
// The "&Uninst" button: the question, then the deletion. 1 = key deleted.
int Uninstall(KeyStore& keys, BoxOwner owner);
