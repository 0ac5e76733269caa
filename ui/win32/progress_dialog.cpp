#include "ui/win32/progress_dialog.h"

#include <commctrl.h>

#include "res/resource.h"
#include "run/handshake.h"
#include "ui/win32/app.h"
#include "ui/win32/console.h"

namespace {

const char kStopQuestion[] =
    "終了しても宜しいですか。\n【注意】\n  OKを選択しても直ぐには停止出来ませ\n"
    "  ん(ダイアログは直ぐに消えますが)。\n  若干のタイムラグがありますがストー\n"
    "  ルではありませんので, 辛抱強くお待\n  ち下さい(^_^;";

// The dialog to write to, or 0 once it has ended: its handle value may by
// then name some other window.
HWND ProgressDialogWindow() {
  if (terminateRequest != 0) return nullptr;
  return reinterpret_cast<HWND>(progressDialog.load());
}

void ShowSimpleView(HWND dialog) {
  EnableWindow(GetDlgItem(dialog, IDC_SIMPLE), FALSE);
  DockConsole(dialog, SWP_HIDEWINDOW);
  EnableWindow(GetDlgItem(dialog, IDC_DETAILED), TRUE);
}

void ShowDetailedView(HWND dialog) {
  EnableWindow(GetDlgItem(dialog, IDC_DETAILED), FALSE);
  DockConsole(dialog, SWP_SHOWWINDOW);
  EnableWindow(GetDlgItem(dialog, IDC_SIMPLE), TRUE);
}

// The user's Stop, the close box and the master's own closing command.
void Stop(HWND dialog) {
  if (confirmStop != 0) {
    // With several fonts at once, none starts while the question is open.
    holdNewJobs = 1;
    int answer = MessageBoxA(dialog, kStopQuestion, "確認",
                             MB_OKCANCEL | MB_ICONQUESTION | MB_SETFOREGROUND);
    // On OK the hold stays until the stop request is raised, so that no font
    // starts in between.
    if (answer != IDOK) {
      holdNewJobs = 0;
      return;
    }
  }
  // The console stays readable after the dialog: input back on, shown.
  if (consoleWindow) EnableWindow(consoleWindow, TRUE);
  DockConsole(dialog, SWP_SHOWWINDOW);
  EndDialog(dialog, 1);
}

void InitProgressDialog(HWND dialog) {
  PrepareSystemMenu(dialog);
  SetDialogIconAndTitle(dialog);
  progressDialog = reinterpret_cast<std::uintptr_t>(dialog);
  EnableWindow(GetDlgItem(dialog, IDC_DETAILED), TRUE);
  EnableWindow(GetDlgItem(dialog, IDC_SIMPLE), FALSE);
  DockConsole(dialog, SWP_HIDEWINDOW);
}

INT_PTR CALLBACK ProgressDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                    LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      InitProgressDialog(dialog);
      return TRUE;
    case WM_MOVE:
      DockConsole(dialog, 0);
      return FALSE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDOK:
          Stop(dialog);
          break;
        case IDC_DETAILED:
          ShowDetailedView(dialog);
          break;
        case IDC_SIMPLE:
          ShowSimpleView(dialog);
          break;
        default:  // IDCANCEL among them: Esc does nothing
          break;
      }
      return TRUE;
    case WM_SYSCOMMAND:
      switch (wParam) {
        case IDM_VERSION:
          ShowVersionDialog(appInstance, dialog);
          return TRUE;
        case SC_MINIMIZE:
          ShowSimpleView(dialog);
          return FALSE;
        case SC_MAXIMIZE:
          return TRUE;
        case SC_CLOSE:
          SendMessageA(dialog, WM_COMMAND, IDOK, 0);
          return TRUE;
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}

void SendToItem(int id, UINT message, WPARAM wParam, LPARAM lParam) {
  HWND dialog = ProgressDialogWindow();
  if (dialog) SendDlgItemMessageA(dialog, id, message, wParam, lParam);
}

void SetItemText(int id, const std::string& text) {
  HWND dialog = ProgressDialogWindow();
  if (dialog) SetDlgItemTextA(dialog, id, text.c_str());
}

}  // namespace

DWORD WINAPI ProgressThreadMain(LPVOID) {
  DialogBoxParamA(appInstance, MAKEINTRESOURCEA(IDD_PROGRESS), nullptr,
                  ProgressDialogProc, 0);
  ProgressThreadEpilogue(1000);
  holdNewJobs = 0;
  return 0;
}

// The 32-bit range message, so that a batch of more than 65535 fonts still
// fills the bar correctly.
void DialogProgressView::SetRange(int upper) {
  SendToItem(IDC_PROGRESS_BAR, PBM_SETRANGE32, 0, upper);
}

void DialogProgressView::SetPosition(int position) {
  SendToItem(IDC_PROGRESS_BAR, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void DialogProgressView::SetStateLine(const std::string& text) {
  SetItemText(IDC_STATE_LINE, text);
}

void DialogProgressView::SetCommandLine(const std::string& text) {
  SetItemText(IDC_COMMAND_LINE, text);
}

void DialogProgressView::SetTimeLine(const std::string& text) {
  SetItemText(IDC_TIME_LINE, text);
}
