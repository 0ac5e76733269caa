#include "ui_probe.h"

#include <commctrl.h>

#include <cstdio>

namespace probe {
namespace {

const UINT kTimeoutMs = 3000;

struct EnumState {
  DWORD pid;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectDialog(HWND window, LPARAM param) {
  EnumState* state = reinterpret_cast<EnumState*>(param);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != state->pid || !IsWindowVisible(window)) return TRUE;
  char cls[64] = "";
  GetClassNameA(window, cls, sizeof cls);
  if (std::string(cls) == "#32770") state->found.push_back(window);
  return TRUE;
}

std::string Convert(const std::string& text, UINT from, UINT to) {
  if (text.empty()) return text;
  int wide = MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring w(static_cast<size_t>(wide), L'\0');
  MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), &w[0], wide);
  int narrow = WideCharToMultiByte(to, 0, w.data(), wide, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(narrow), '\0');
  WideCharToMultiByte(to, 0, w.data(), wide, &out[0], narrow, nullptr, nullptr);
  return out;
}

std::string FromWide(const wchar_t* text) {
  int size = WideCharToMultiByte(932, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return std::string();
  std::string out(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(932, 0, text, -1, &out[0], size, nullptr, nullptr);
  out.resize(static_cast<size_t>(size) - 1);
  return out;
}

std::wstring ToWide(const std::string& text) {
  int size = MultiByteToWideChar(932, 0, text.c_str(), -1, nullptr, 0);
  std::wstring out(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(932, 0, text.c_str(), -1, &out[0], size);
  out.resize(static_cast<size_t>(size > 0 ? size - 1 : 0));
  return out;
}

}  // namespace

const char* KindName(Kind kind) {
  switch (kind) {
    case Kind::Settings: return "settings dialog";
    case Kind::Progress: return "progress dialog";
    case Kind::Install: return "install dialog";
    case Kind::Version: return "version dialog";
    case Kind::Box: return "message box";
    case Kind::Other: break;
  }
  return "other dialog";
}

std::vector<HWND> Dialogs(DWORD pid) {
  EnumState state{pid, {}};
  EnumWindows(CollectDialog, reinterpret_cast<LPARAM>(&state));
  return state.found;
}

Kind KindOf(HWND dialog) {
  // Each of the program's dialogs has a control that no other one has; the
  // labels of the templates share id 0xFFFF with a message box's text.
  if (GetDlgItem(dialog, 1000)) return Kind::Settings;
  if (GetDlgItem(dialog, 1004)) return Kind::Progress;
  if (GetDlgItem(dialog, 1016)) return Kind::Install;
  if (GetDlgItem(dialog, 1003)) return Kind::Version;
  if (GetDlgItem(dialog, 0xFFFF)) return Kind::Box;
  return Kind::Other;
}

std::string Title(HWND window) {
  wchar_t buffer[1024] = L"";
  GetWindowTextW(window, buffer, 1024);
  return FromWide(buffer);
}

LRESULT Query(HWND window, UINT message, WPARAM wParam, LPARAM lParam, LRESULT fallback) {
  DWORD_PTR result = 0;
  if (!window ||
      !SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kTimeoutMs, &result))
    return fallback;
  return static_cast<LRESULT>(result);
}

LRESULT QueryItem(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
  return Query(GetDlgItem(dialog, id), message, wParam, lParam);
}

std::string Text(HWND window) {
  LRESULT length = Query(window, WM_GETTEXTLENGTH, 0, 0);
  if (length <= 0) return std::string();
  std::vector<wchar_t> buffer(static_cast<size_t>(length) + 2, L'\0');
  Query(window, WM_GETTEXT, buffer.size() - 1, reinterpret_cast<LPARAM>(buffer.data()));
  return FromWide(buffer.data());
}

std::string ItemText(HWND dialog, int id) { return Text(GetDlgItem(dialog, id)); }

bool SetItemText(HWND dialog, int id, const std::string& text) {
  std::wstring wide = ToWide(text);
  return Query(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()), 0) != 0;
}

std::string BoxText(HWND box) { return ItemText(box, 0xFFFF); }

namespace {

// Items of a combo box or list box, read as UTF-16: Wine hands the narrow
// variants of these messages back unconverted across processes.
std::vector<std::string> Items(HWND control, UINT count, UINT length, UINT get) {
  std::vector<std::string> items;
  LRESULT n = Query(control, count, 0, 0);
  for (LRESULT i = 0; i < n; ++i) {
    LRESULT size = Query(control, length, static_cast<WPARAM>(i), 0);
    if (size < 0) break;
    std::vector<wchar_t> buffer(static_cast<size_t>(size) + 2, L'\0');
    Query(control, get, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buffer.data()));
    items.push_back(FromWide(buffer.data()));
  }
  return items;
}

}  // namespace

std::vector<std::string> ComboItems(HWND combo) {
  return Items(combo, CB_GETCOUNT, CB_GETLBTEXTLEN, CB_GETLBTEXT);
}

std::vector<std::string> ListItems(HWND list) { return Items(list, LB_GETCOUNT, LB_GETTEXTLEN, LB_GETTEXT); }

bool Checked(HWND dialog, int id) { return QueryItem(dialog, id, BM_GETCHECK) == BST_CHECKED; }

bool Enabled(HWND dialog, int id) {
  HWND control = GetDlgItem(dialog, id);
  return control && IsWindowEnabled(control);
}

void Press(HWND dialog, int id) {
  PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

void PostSysCommand(HWND dialog, WPARAM command) { PostMessageA(dialog, WM_SYSCOMMAND, command, 0); }

std::string Describe(DWORD pid) {
  std::string out;
  for (HWND dialog : Dialogs(pid)) {
    Kind kind = KindOf(dialog);
    out += std::string("\n      ") + KindName(kind) + " \"" + Title(dialog) + "\"";
    if (kind == Kind::Box) out += ": " + Escaped(BoxText(dialog));
  }
  return out.empty() ? std::string(" none") : out;
}

bool SaveScreenArea(const std::vector<HWND>& windows, const std::string& path) {
  RECT area{0, 0, 0, 0};
  bool first = true;
  for (HWND window : windows) {
    RECT r;
    if (!window || !GetWindowRect(window, &r)) continue;
    if (first) {
      area = r;
      first = false;
    } else {
      UnionRect(&area, &area, &r);
    }
  }
  if (first) area = RECT{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  // Reading beyond the screen fails as a whole under Wine: clip first.
  RECT screenRect{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  if (!IntersectRect(&area, &area, &screenRect)) return false;
  int width = area.right - area.left, height = area.bottom - area.top;
  if (width <= 0 || height <= 0) return false;

  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY | CAPTUREBLT);
  SelectObject(memory, old);

  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;  // bottom-up, as BMP files store it
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  std::vector<unsigned char> pixels(stride * static_cast<DWORD>(height));
  int lines = GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
                        reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  if (lines != height) return false;

  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(&file, sizeof file, 1, f) == 1 && std::fwrite(&info, sizeof info, 1, f) == 1 &&
            std::fwrite(pixels.data(), 1, pixels.size(), f) == pixels.size();
  return std::fclose(f) == 0 && ok;
}

std::string Utf8(const std::string& text) { return Convert(text, 932, CP_UTF8); }

std::string Escaped(const std::string& text) {
  std::string escaped;
  for (char c : text) {
    if (c == '\n')
      escaped += "\\n";
    else if (c == '\r')
      escaped += "\\r";
    else
      escaped += c;
  }
  return escaped;
}

}  // namespace probe
