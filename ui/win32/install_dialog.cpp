#include "ui/win32/install_dialog.h"

#include <commdlg.h>

#include <algorithm>
#include <vector>

#include "res/resource.h"
#include "ui/dialogue.h"
#include "ui/win32/app.h"

namespace {

constexpr std::size_t kPathBytes = 260;

void Browse(HWND dialog) {
  std::string file = "(^_^)";
  static const char kFilter[] = "KLN 定義ファイル\0FONTS.DAT\0";
  ChooseOpenFile(dialog, "フォントデータファイルを選択して下さい", file, kPathBytes,
                 std::string(kFilter, sizeof kFilter));
  // A cancelled choice leaves the initial name, which then shows.
  SetDlgItemTextA(dialog, IDC_DEFINITION_PATH, file.c_str());
}

void WriteToRegistry(HWND dialog, KeyStore& keys) {
  std::string typed = DialogItemText(dialog, IDC_DEFINITION_PATH);
  typed = CutToBytes(typed, kPathBytes - 1);
  switch (InstallDefinitionPath(keys, typed, dialog)) {
    case InstallResult::Written:
      EndDialog(dialog, 1);
      break;
    case InstallResult::NoSuchFile:
      break;
    case InstallResult::Failed:
      EndDialog(dialog, 0);
      break;
  }
}

INT_PTR CALLBACK InstallDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                   LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      SetWindowLongPtrA(dialog, DWLP_USER, lParam);
      PrepareSystemMenu(dialog);
      SetDialogIconAndTitle(dialog);
      return TRUE;
    case WM_COMMAND: {
      auto* prompt = reinterpret_cast<InstallDialogPrompt*>(
          GetWindowLongPtrA(dialog, DWLP_USER));
      switch (LOWORD(wParam)) {
        case IDOK:
          WriteToRegistry(dialog, prompt->Keys());
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, 0);
          return TRUE;
        case IDC_BROWSE:
          Browse(dialog);
          return TRUE;
        default:
          return FALSE;
      }
    }
    case WM_SYSCOMMAND:
      switch (wParam) {
        case IDM_VERSION:
          ShowVersionDialog(appInstance, dialog);
          return TRUE;
        case SC_MAXIMIZE:
          return TRUE;
        case SC_CLOSE:
          ConfirmCloseDialog(dialog);
          return TRUE;
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}

}  // namespace

int InstallDialogPrompt::RunInstallDialog() {
  INT_PTR result =
      DialogBoxParamA(appInstance, MAKEINTRESOURCEA(IDD_INSTALL), nullptr,
                      InstallDialogProc, reinterpret_cast<LPARAM>(this));
  return result == 1 ? 1 : 0;
}

bool ChooseOpenFile(HWND owner, std::string title, std::string& file,
                    std::size_t fileBytes, const std::string& filter) {
  if (fileBytes == 0) return false;
  if (file.empty()) file = "(^_^);";
  if (title.empty()) title = "Title 指定漏れ";
  std::vector<char> buffer(fileBytes, '\0');
  file.copy(buffer.data(), std::min(file.size(), fileBytes - 1));

  OPENFILENAMEA dialog = {};
  dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = filter.c_str();
  dialog.nFilterIndex = 0;
  dialog.lpstrFile = buffer.data();
  dialog.nMaxFile = static_cast<DWORD>(fileBytes);
  dialog.lpstrTitle = title.c_str();
  dialog.Flags = OFN_HIDEREADONLY;
  if (!GetOpenFileNameA(&dialog)) return false;
  file.assign(buffer.data());
  return true;
}
