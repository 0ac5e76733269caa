#include "ui/win32/console.h"

#include <cstdio>
#include <ctime>
#include <mutex>

#include "deffile/runsettings.h"
#include "res/resource.h"
#include "ui/dialogue.h"
#include "ui/win32/app.h"

HWND consoleWindow = nullptr;

namespace {

// Attributes: each kind's colour with FOREGROUND_INTENSITY.
constexpr WORD kNoticeAttribute = 0x0A;
constexpr WORD kPlainAttribute = 0x0F;
constexpr WORD kKindAttributes[] = {0x0B, 0x0E, 0x0C};  // info, warning, alert

const char kNotice[] =
    "このコンソールはプロセス及びデバッグ用です。\n"
    "Windows95 ではこのウィンドウにフォーカスが移るとMOUSE が非表示状態になる場合が"
    "あります(プロパティの設定によります)。また、このウィンドウを範囲指定状態にしておくと"
    "プログラムが停止状態になりますので, このウインドウは一切操作できないようにしています。"
    "もし, MOUSE カーソルが表示されない状態になった時はALT + TAB(GRAPH + TAB)で"
    "フォーカスを他のウインドウに移して下さい。情けない話ですが, 私はソフトからマウスの"
    "排他モードを制御する方法を知りません。この方法を知っている方で方法を教えてくれると"
    "いう奇特な方は以下に連絡を下さい。\n"
    "お礼はたいして出来ませんが, よろしくお願いします。m(_ _)m\n";
const char kContactLine[] =
    "連絡先: Fontkiln 開発者メーリングリスト <fontkiln-dev@example.org>\n";

std::mutex consoleMutex;  // guards everything below and consoleWindow's use
HANDLE consoleOutput = nullptr;
int consoleShown = 0;
RECT dockRect = {0, 0, 0, 0};

void WriteBytes(const std::string& bytes) {
  DWORD written = 0;
  WriteConsoleA(consoleOutput, bytes.data(), static_cast<DWORD>(bytes.size()),
                &written, nullptr);
}

void PlaceConsole(UINT showFlags) {
  SetWindowPos(consoleWindow, HWND_TOP, dockRect.left, dockRect.bottom, 0, 0,
               showFlags | SWP_NOACTIVATE | SWP_NOSIZE);
}

// The console's own window. Where the system hands it out directly the
// title search is not needed; the unique title is set all the same.
HWND LocateConsoleWindow(const std::string& title) {
  HWND window = GetConsoleWindow();
  while (!window) {
    window = FindWindowByTitle(title);
    if (window) break;
    if (MessageBoxA(nullptr,
                    "自分のウインドウのハンドルを特定出来ませんでした。リトライしますか。",
                    kProductTitle,
                    MB_OKCANCEL | MB_ICONERROR | MB_SETFOREGROUND) != IDOK)
      ExitProgram(1);
  }
  return window;
}

// The output handle of the console just allocated. A parent that started
// the program with redirected standard handles leaves those in place, so
// the console is then opened by name.
HANDLE ConsoleOutputHandle() {
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (output && output != INVALID_HANDLE_VALUE && GetConsoleMode(output, &mode))
    return output;
  output = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
  return output == INVALID_HANDLE_VALUE ? nullptr : output;
}

void CreateConsole() {
  dockRect.left = 0;
  dockRect.bottom = 0;
  // A program started from a console parent is attached to that console
  // already, and AllocConsole would fail; it needs one of its own.
  FreeConsole();
  if (!AllocConsole()) {
    DWORD code = GetLastError();
    MessageBoxPrintf(nullptr, kProductTitle, MB_ICONERROR | MB_SETFOREGROUND,
                     "AllocConsole が失敗しました。ErrorCode %lu(%lx)", code, code);
    ExitProgram(1);
  }
  char title[128];
  std::snprintf(title, sizeof title, "%s Process Console #%d", kProductTitle,
                static_cast<int>(std::time(nullptr)));
  SetConsoleTitleA(title);
  consoleWindow = LocateConsoleWindow(title);
  SetClassLongPtrA(consoleWindow, GCLP_HICON,
                   reinterpret_cast<LONG_PTR>(
                       LoadIconA(appInstance, MAKEINTRESOURCEA(IDI_KILN))));
  DeleteMenu(GetSystemMenu(consoleWindow, FALSE), SC_CLOSE, MF_BYCOMMAND);
  EnableWindow(consoleWindow, FALSE);
  consoleOutput = ConsoleOutputHandle();
  if (!consoleOutput) {
    DWORD code = GetLastError();
    MessageBoxPrintf(nullptr, kProductTitle, MB_ICONERROR | MB_SETFOREGROUND,
                     "AllocConsole が失敗しました。ErrorCode %lu(%lx)", code, code);
    ExitProgram(1);
  }
  PlaceConsole(SWP_HIDEWINDOW);
  SetConsoleTextAttribute(consoleOutput, kNoticeAttribute);
  consoleShown = 0;
  WriteBytes(std::string(kNotice) + kContactLine);
}

}  // namespace

void ProcessConsole::WriteLog(LogKind kind, const std::string& text) {
  std::lock_guard<std::mutex> lock(consoleMutex);
  if (debugMode == 0) {
    if (consoleWindow && consoleShown == 1) {
      PlaceConsole(SWP_HIDEWINDOW);
      consoleShown = 0;
    }
    return;
  }
  if (!consoleOutput) CreateConsole();
  if (consoleShown == 0) {
    PlaceConsole(SWP_SHOWWINDOW);
    consoleShown = 1;
  }
  std::time_t now = std::time(nullptr);
  std::tm local = {};
  localtime_s(&local, &now);
  char stamp[16];
  std::snprintf(stamp, sizeof stamp, "%02d:%02d:%02d ", local.tm_hour,
                local.tm_min, local.tm_sec);
  // The line with its break and NUL fits kConsoleLineBytes; longer texts
  // are cut at a character boundary.
  std::string line = stamp;
  line += CutToBytes(text, kConsoleLineBytes - 2 - line.size());
  line += '\n';
  int index = (kind >= LOG_INFO && kind <= LOG_ALERT) ? kind : LOG_INFO;
  SetConsoleTextAttribute(consoleOutput, kKindAttributes[index]);
  WriteBytes(line);
  SetConsoleTextAttribute(consoleOutput, kPlainAttribute);
}

void WriteProcessOutput(const std::string& bytes) {
  std::lock_guard<std::mutex> lock(consoleMutex);
  if (!consoleOutput) return;
  SetConsoleTextAttribute(consoleOutput, kPlainAttribute);
  WriteBytes(bytes);
}

void DockConsole(HWND dialog, UINT showFlags) {
  {
    std::lock_guard<std::mutex> lock(consoleMutex);
    if (!consoleWindow) return;
    GetWindowRect(dialog, &dockRect);
    PlaceConsole(showFlags);
  }
  SetForegroundWindow(dialog);
}

HWND FindWindowByTitle(const std::string& title) {
  HWND window = nullptr;
  for (;;) {
    Sleep(10);
    if (!window) {
      window = GetTopWindow(nullptr);
      if (!window) {
        MessageBoxA(nullptr, "ウィンドウが見つかりません", "致命的エラー", MB_OK);
        return nullptr;
      }
    } else {
      window = GetWindow(window, GW_HWNDNEXT);
      if (!window) return nullptr;
    }
    char text[kConsoleLineBytes];
    if (GetWindowTextA(window, text, sizeof text) == 0) continue;
    if (title == text) return window;
  }
}
