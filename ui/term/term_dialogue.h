// Message boxes and questions on a terminal: a box becomes its title and
// text on standard error; an OK/Cancel question is answered with one key on
// the terminal. Without a terminal a question takes the answer that changes
// nothing (Cancel), and says so.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "ui/dialogue.h"

enum class Answer { Ok, Cancel, Woken };

// Asks title/text on the terminal. wakeFds: descriptors whose readiness
// ends the question unanswered (Woken; *woken is the index). Questions from
// two threads are taken one after the other.
Answer AskOkCancel(const std::string& title, const std::string& text,
                   const std::vector<int>& wakeFds = {}, int* woken = nullptr);

// The key's meaning at an OK/Cancel prompt: 1 OK, 0 Cancel, -1 none.
int OkCancelKey(int key);

// The text a box becomes on standard error.
std::string FormatBox(const std::string& title, const std::string& text);

class TermDialogue : public UserDialogue {
 public:
  int ShowMessageBox(BoxOwner owner, const std::string& text,
                     const std::string& title, unsigned flags) override;
  [[noreturn]] void ExitProgram(int status) override;
  // Consulted before an error box: text that explains it (the tail of the
  // failed program's output), or empty.
  std::function<std::string()> errorContext;
};

// Flushes the streams, puts the terminal back and ends the process at once
// (other threads may still run, so no destructors of statics).
[[noreturn]] void QuitProgram(int status);
