// The version box: the program's name, version and icon, modal to the
// dialog whose system menu opened it. It has no Cancel: Esc does nothing.
#include "res/resource.h"
#include "ui/dialogue.h"
#include "ui/win32/app.h"

namespace {

INT_PTR CALLBACK VersionDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                   LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      SetWindowTextA(dialog, kVersionTitle);
      SetDlgItemTextA(dialog, IDC_VERSION_LINE, "Version 3.10  フォント一括生成");
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK) EndDialog(dialog, 1);
      return TRUE;
    case WM_SYSCOMMAND:
      if (wParam == SC_CLOSE) {
        EndDialog(dialog, 1);
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

}  // namespace

INT_PTR ShowVersionDialog(HINSTANCE instance, HWND owner) {
  return DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_VERSION), owner,
                         VersionDialogProc, 0);
}
