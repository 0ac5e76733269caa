#include "ui/win32/app.h"

#include <vector>

#include "res/resource.h"
#include "ui/dialogue.h"

HINSTANCE appInstance = nullptr;

void PrepareSystemMenu(HWND dialog) {
  HMENU menu = GetSystemMenu(dialog, FALSE);
  DeleteMenu(menu, SC_MAXIMIZE, MF_BYCOMMAND);
  DeleteMenu(menu, SC_SIZE, MF_BYCOMMAND);
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING, IDM_VERSION, "ヴァージョン表示");
}

void SetDialogIconAndTitle(HWND dialog) {
  HICON icon = LoadIconA(appInstance, MAKEINTRESOURCEA(IDI_KILN));
  SetClassLongPtrA(dialog, GCLP_HICON, reinterpret_cast<LONG_PTR>(icon));
  SetWindowTextA(dialog, kVersionTitle);
}

void ConfirmCloseDialog(HWND dialog) {
  if (MessageBoxA(dialog, "終了しても宜しいですか", "確認",
                  MB_SETFOREGROUND | MB_ICONERROR | MB_OKCANCEL) == IDOK)
    EndDialog(dialog, 0);
}

std::string CutToBytes(const std::string& text, std::size_t maximum) {
  if (text.size() <= maximum) return text;
  std::size_t end = 0;
  while (end < maximum) {
    std::size_t step =
        IsDBCSLeadByte(static_cast<BYTE>(text[end])) ? 2 : 1;
    if (end + step > maximum) break;
    end += step;
  }
  return text.substr(0, end);
}

std::string DialogItemText(HWND dialog, int id) {
  HWND item = GetDlgItem(dialog, id);
  if (!item) return std::string();
  int length = GetWindowTextLengthA(item);
  std::vector<char> buffer(static_cast<std::size_t>(length > 0 ? length : 0) + 1);
  int copied = GetWindowTextA(item, buffer.data(), static_cast<int>(buffer.size()));
  return std::string(buffer.data(), static_cast<std::size_t>(copied > 0 ? copied : 0));
}

bool ComboEntryText(HWND dialog, int id, int index, std::string& text) {
  LRESULT length = SendDlgItemMessageA(dialog, id, CB_GETLBTEXTLEN, index, 0);
  if (length == CB_ERR) return false;
  std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
  LRESULT copied = SendDlgItemMessageA(dialog, id, CB_GETLBTEXT, index,
                                       reinterpret_cast<LPARAM>(buffer.data()));
  if (copied == CB_ERR) return false;
  text.assign(buffer.data(), static_cast<std::size_t>(copied));
  return true;
}

bool ListEntryText(HWND dialog, int id, int index, std::string& text) {
  LRESULT length = SendDlgItemMessageA(dialog, id, LB_GETTEXTLEN, index, 0);
  if (length == LB_ERR) return false;
  std::vector<char> buffer(static_cast<std::size_t>(length) + 1);
  LRESULT copied = SendDlgItemMessageA(dialog, id, LB_GETTEXT, index,
                                       reinterpret_cast<LPARAM>(buffer.data()));
  if (copied == LB_ERR) return false;
  text.assign(buffer.data(), static_cast<std::size_t>(copied));
  return true;
}
