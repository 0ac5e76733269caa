#include "ui/dialogue.h"

#include <cstdlib>

const char* const kProductTitle = TR_NOOP("Fontkiln for WIN32 ");
const char* const kVersionTitle = TR_NOOP("Fontkiln for WIN32 Version 3.10");

namespace {
UserDialogue* userDialogue = nullptr;

// Without a front end (a tool built on the core alone) questions take the
// answer that changes nothing.
class SilentDialogue : public UserDialogue {
 public:
  int ShowMessageBox(BoxOwner, const std::string&, const std::string&,
                     unsigned flags) override {
    return (flags & BOX_OKCANCEL) ? ANSWER_CANCEL : ANSWER_OK;
  }
  [[noreturn]] void ExitProgram(int status) override { std::exit(status); }
};
SilentDialogue silentDialogue;
}  // namespace

void SetUserDialogue(UserDialogue* dialogue) { userDialogue = dialogue; }

UserDialogue& CurrentDialogue() {
  return userDialogue ? *userDialogue : silentDialogue;
}

int ShowBox(BoxOwner owner, const std::string& text, const std::string& title,
            unsigned flags) {
  return CurrentDialogue().ShowMessageBox(owner, text, title, flags);
}

int MessageBoxPrintf(BoxOwner owner, const char* title, unsigned flags,
                     const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string text = StringVPrintf(format, args);
  va_end(args);
  return ShowBox(owner, text, title, flags);
}

void ExitProgram(int status) {
  CurrentDialogue().ExitProgram(status);
  std::abort();  // a front end's ExitProgram never returns
}
