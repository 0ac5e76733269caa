// The install dialog (106), which records the definition file's path in the
// key store, and the system's open-file dialog behind its browse button.
#pragma once

#include <windows.h>

#include <string>

#include "install/locate.h"

class InstallDialogPrompt : public InstallPrompt {
 public:
  explicit InstallDialogPrompt(KeyStore& keys) : keys_(keys) {}
  int RunInstallDialog() override;
  KeyStore& Keys() { return keys_; }

 private:
  KeyStore& keys_;
};

// The open-file dialog titled title, starting from file (its initial name;
// "(^_^);" when empty) and filtering by filter (pairs of display text and
// pattern, each NUL-terminated, the list ended by an empty string). file
// holds at most fileBytes bytes with the NUL; on a confirmed choice it
// receives the full path and the result is true.
bool ChooseOpenFile(HWND owner, std::string title, std::string& file,
                    std::size_t fileBytes, const std::string& filter);
