#include "ui/win32/message_box.h"

#include <windows.h>

static_assert(BOX_OKCANCEL == MB_OKCANCEL && BOX_ICONERROR == MB_ICONERROR &&
                  BOX_ICONQUESTION == MB_ICONQUESTION &&
                  BOX_ICONWARNING == MB_ICONWARNING &&
                  BOX_ICONINFORMATION == MB_ICONINFORMATION &&
                  BOX_SETFOREGROUND == MB_SETFOREGROUND,
              "box flags must be the Windows API's");
static_assert(ANSWER_OK == IDOK && ANSWER_CANCEL == IDCANCEL,
              "answers must be the Windows API's");

int MessageBoxDialogue::ShowMessageBox(BoxOwner owner, const std::string& text,
                                       const std::string& title, unsigned flags) {
  return MessageBoxA(static_cast<HWND>(owner), text.c_str(), title.c_str(), flags);
}

void MessageBoxDialogue::ExitProgram(int status) {
  // The console and the other thread end with the process; nothing of the
  // program's own needs flushing.
  ExitProcess(static_cast<UINT>(status));
}
