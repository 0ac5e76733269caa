#include "ui/term/term_dialogue.h"

#include <unistd.h>

#include <cstdio>
#include <mutex>

#include "run/dirlock.h"
#include "ui/term/term_output.h"
#include "ui/term/tty.h"
#include "ui/text.h"

namespace {
std::mutex questionMutex;
const char kPrompt[] = TR_NOOP("[O]K / [C]ancel? ");
}  // namespace

std::string FormatBox(const std::string& title, const std::string& text) {
  std::string box = title + "\n" + text;
  if (box.empty() || box.back() != '\n') box += "\n";
  return box + "\n";
}

int OkCancelKey(int key) {
  switch (key) {
    case 'o': case 'O': case 'y': case 'Y': case '\r': case '\n':
      return 1;  // Enter takes the default button, OK
    case 'c': case 'C': case 'n': case 'N': case 'q': case 'Q':
    case 27: case 3:
      return 0;  // Esc and Ctrl-C cancel
    default:
      return -1;
  }
}

Answer AskOkCancel(const std::string& title, const std::string& text,
                   const std::vector<int>& wakeFds, int* woken) {
  std::string box = FormatBox(title, text);
  if (!Tty::Available()) {
    Output().Print(stderr, box + TR("(no terminal to answer on: Cancel)\n\n"));
    return Answer::Cancel;
  }
  std::lock_guard<std::mutex> lock(questionMutex);
  Output().Suspend();
  Tty::KeyMode keys(true);
  // The question goes to the terminal itself; a redirected standard error
  // keeps a record of it too.
  if (!isatty(STDERR_FILENO)) Output().WriteDuringQuestion(stderr, box);
  Tty::Write(box + TR(kPrompt));
  Answer answer = Answer::Cancel;
  for (;;) {
    int index = 0;
    int key = Tty::ReadKey(wakeFds, &index);
    if (key == -1) {
      if (woken) *woken = index;
      Tty::Write("\n");
      answer = Answer::Woken;
      break;
    }
    if (key == -2) {
      Tty::Write(TR("(no answer: Cancel)\n"));
      break;
    }
    int meaning = OkCancelKey(key);
    if (meaning < 0) continue;
    answer = meaning ? Answer::Ok : Answer::Cancel;
    Tty::Write(meaning ? "OK\n\n" : TR("Cancel\n\n"));
    break;
  }
  Output().Resume();
  return answer;
}

int TermDialogue::ShowMessageBox(BoxOwner, const std::string& text,
                                 const std::string& boxTitle, unsigned flags) {
  // Titles are the core's few constants (marked where they are defined);
  // the texts arrive translated already.
  const std::string title = TranslateText(boxTitle.c_str());
  if (flags & BOX_OKCANCEL)
    return AskOkCancel(title, text) == Answer::Ok ? ANSWER_OK : ANSWER_CANCEL;
  std::string context;
  if ((flags & 0xF0) == BOX_ICONERROR && errorContext) context = errorContext();
  Output().Print(stderr, context + FormatBox(title, text));
  return ANSWER_OK;
}

void QuitProgram(int status) {
  std::fflush(stdout);
  std::fflush(stderr);
  Tty::RestoreModes();
  // _exit: the progress thread may still run, and nothing may be torn down
  // under it. The lock itself ends with the process; its file goes now.
  RemoveHeldDirLockFile();
  _exit(status);
}

void TermDialogue::ExitProgram(int status) { QuitProgram(status); }
