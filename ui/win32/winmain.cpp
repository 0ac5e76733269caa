// The Win32 program's entry: the platform check, the command line, and the
// run sequence over this front end's dialogs, console, registry and process
// runner.
#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "install/keystore_win32.h"
#include "install/locate.h"
#include "run/cmdline.h"
#include "run/handshake.h"
#include "run/process_win32.h"
#include "run/sequence.h"
#include "ui/dialogue.h"
#include "ui/win32/app.h"
#include "ui/win32/console.h"
#include "ui/win32/documents.h"
#include "ui/win32/install_dialog.h"
#include "ui/win32/message_box.h"
#include "ui/win32/progress_dialog.h"
#include "ui/win32/settings_dialog.h"

namespace {

class Win32FrontEnd : public RunFrontEnd {
 public:
  int LocateDefinitionFile(std::string& path) override {
    return ::LocateDefinitionFile(keys_, installPrompt_, path);
  }
  int ShowSettingsDialog() override {
    if (!documents_.BeforeSettings()) return 0;
    if (!::ShowSettingsDialog(appInstance, keys_)) return 0;
    // Everything that can refuse the run does so before any font is built.
    return documents_.AfterSettings() ? 1 : 0;
  }
  int Workers() override { return documents_.workers(); }
  // Without a JOBS line the batch is the specified one; with it, failed
  // jobs are filed as the terminal program files them.
  BatchRules Rules() override {
    BatchRules rules;
    rules.fileFailedJobs = documents_.jobsGiven();
    return rules;
  }
  bool StartProgressThread() override {
    DWORD threadId = 0;
    thread_ = CreateThread(nullptr, 0, ProgressThreadMain, nullptr, 0, &threadId);
    return thread_ != nullptr;
  }
  bool ProgressThreadEnded() override {
    return !thread_ || WaitForSingleObject(thread_, 0) == WAIT_OBJECT_0;
  }
  void BringProgressToFront() override {
    SetForegroundWindow(reinterpret_cast<HWND>(progressDialog.load()));
  }
  void CloseProgressView() override {
    SendMessageA(reinterpret_cast<HWND>(progressDialog.load()), WM_COMMAND, IDOK, 0);
  }
  void JoinProgressThread() override {
    if (!thread_) return;
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    thread_ = nullptr;
  }
  ProgressView& Progress() override { return progress_; }
  ProcessRunner& Runner() override { return runner_; }
  void SetOutputWriter(void (*writer)(const std::string&)) { runner_.SetOutputWriter(writer); }

 private:
  RegistryKeyStore keys_;
  InstallDialogPrompt installPrompt_{keys_};
  DialogProgressView progress_;
  Win32ProcessRunner runner_;
  DocumentSetup documents_;
  HANDLE thread_ = nullptr;
};

// A word of the command line that names a DVI file (a document).
bool IsDviFile(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Only the Windows 95 family and NT run the program.
bool PlatformSupported() {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
  if (!GetVersionExA(&version)) return false;
  return version.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS ||
         version.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR tail, int) {
  appInstance = instance;
  if (!PlatformSupported()) {
    MessageBoxA(nullptr, "このソフトウエアは Windows NT/Windows95\n以外では動作しません。",
                kProductTitle, MB_SETFOREGROUND | MB_ICONERROR);
    return 1;
  }
  // The trackbar and the progress bar of the templates.
  INITCOMMONCONTROLSEX controls = {sizeof controls, ICC_BAR_CLASSES | ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);

  static ProcessConsole console;
  static MessageBoxDialogue boxes;
  SetLogSink(&console);
  SetUserDialogue(&boxes);

  // A DVI file dropped on the program is a document, not a word.
  std::string commandTail = tail ? tail : "";
  for (const std::string& document : TakeDocumentWords(commandTail, IsDviFile)) {
    char full[MAX_PATH];
    DWORD n = GetFullPathNameA(document.c_str(), sizeof full, full, nullptr);
    documentArguments.push_back(n == 0 || n >= sizeof full ? document : std::string(full, n));
  }
  ParseCommandLine(commandTail);
  std::vector<std::string> words(argVector.begin() + 1, argVector.end());
  static Win32FrontEnd frontEnd;
  frontEnd.SetOutputWriter(WriteProcessOutput);
  return RunSequence(frontEnd, words).exitCode;
}
