// The sorted controls and the model sort alike for plain ASCII names, but
// the controls' collation may differ for other characters. So after every
// change the controls are filled from the model and the model takes the
// controls' order back: the entry the user sees first is the model's first,
// and the font sets run in the order the list shows.
#include "ui/win32/settings_dialog.h"

#include <commctrl.h>

#include <cstring>
#include <string>
#include <vector>

#include "deffile/runsettings.h"
#include "install/locate.h"
#include "run/cmdline.h"
#include "res/resource.h"
#include "ui/settings_model.h"
#include "ui/win32/app.h"
#include "ui/win32/console.h"

namespace {

constexpr int kComboTextLimit = 64;
constexpr std::size_t kPathBytes = 260;
constexpr UINT kDirListFlags = DDL_EXCLUSIVE | DDL_DRIVES | DDL_DIRECTORY;

struct SettingsDialogState {
  HINSTANCE instance = nullptr;
  KeyStore* keys = nullptr;
  SettingsModel model;
};

SettingsDialogState* StateOf(HWND dialog) {
  return reinterpret_cast<SettingsDialogState*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

void FillCombo(HWND dialog, int id, std::vector<std::string>& entries) {
  SendDlgItemMessageA(dialog, id, CB_RESETCONTENT, 0, 0);
  for (const std::string& entry : entries)
    SendDlgItemMessageA(dialog, id, CB_ADDSTRING, 0,
                        reinterpret_cast<LPARAM>(entry.c_str()));
  entries.clear();
  std::string text;
  for (int i = 0; ComboEntryText(dialog, id, i, text); ++i) entries.push_back(text);
}

void FillList(HWND dialog, int id, std::vector<std::string>& entries) {
  SendDlgItemMessageA(dialog, id, LB_RESETCONTENT, 0, 0);
  for (const std::string& entry : entries)
    SendDlgItemMessageA(dialog, id, LB_ADDSTRING, 0,
                        reinterpret_cast<LPARAM>(entry.c_str()));
  entries.clear();
  std::string text;
  for (int i = 0; ListEntryText(dialog, id, i, text); ++i) entries.push_back(text);
}

int IndexOf(const std::vector<std::string>& entries, const std::string& text) {
  for (std::size_t i = 0; i < entries.size(); ++i)
    if (entries[i] == text) return static_cast<int>(i);
  return -1;
}

// Shows both font-set lists, the available box's text, the selection and
// the enabled states of Add and Delete.
void ShowFontSets(HWND dialog, SettingsModel& model) {
  std::string selectedText;
  if (model.selectedIndex >= 0 &&
      model.selectedIndex < static_cast<int>(model.selected.size()))
    selectedText = model.selected[static_cast<std::size_t>(model.selectedIndex)];
  FillList(dialog, IDC_SELECTED_SETS, model.selected);
  if (!selectedText.empty()) SelectFontSet(model, IndexOf(model.selected, selectedText));
  SendDlgItemMessageA(dialog, IDC_SELECTED_SETS, LB_SETCURSEL,
                      static_cast<WPARAM>(model.selectedIndex), 0);
  FillCombo(dialog, IDC_AVAILABLE_SETS, model.available);
  SetDlgItemTextA(dialog, IDC_AVAILABLE_SETS, model.availableText.c_str());
  EnableWindow(GetDlgItem(dialog, IDC_ADD), model.addEnabled);
  EnableWindow(GetDlgItem(dialog, IDC_DELETE), model.deleteEnabled);
}

void ListDirectory(HWND dialog, const std::string& path) {
  char buffer[kPathBytes] = {};
  std::strncpy(buffer, path.c_str(), sizeof buffer - 1);
  DlgDirListA(dialog, buffer, IDC_DIRLIST, IDC_TARGETDIR, kDirListFlags);
}

int CheckedReaction(HWND dialog) {
  if (IsDlgButtonChecked(dialog, IDC_REACTION_STOP) == BST_CHECKED) return 'S';
  if (IsDlgButtonChecked(dialog, IDC_REACTION_CONFIRM) == BST_CHECKED) return 'C';
  if (IsDlgButtonChecked(dialog, IDC_REACTION_IGNORE) == BST_CHECKED) return 'I';
  return 0;
}

// True when the command line's resolution matched a mode line.
bool ModeRequested(const SettingsModel& model) {
  if (argCount < 2) return false;
  int wanted = ResolutionValue(argVector[1]);
  for (const std::string& mode : model.modes)
    if (ResolutionValue(mode) == wanted) return true;
  return false;
}

BOOL InitSettingsDialog(HWND dialog, SettingsDialogState& state) {
  SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(&state));
  // The console exists from here on in every run: one line forced through
  // in debug mode creates it, and "Close" hides it again unless the user
  // runs in debug mode.
  int savedDebugMode = debugMode;
  debugMode = 1;
  ConsolePrintf(LOG_INFO, "Console open");
  debugMode = savedDebugMode;
  ConsolePrintf(LOG_INFO, "Close");

  PrepareSystemMenu(dialog);
  SetDialogIconAndTitle(dialog);
  SendDlgItemMessageA(dialog, IDC_AVAILABLE_SETS, CB_LIMITTEXT, kComboTextLimit, 0);
  SendDlgItemMessageA(dialog, IDC_MODE, CB_LIMITTEXT, kComboTextLimit, 0);
  SendDlgItemMessageA(dialog, IDC_PRIORITY, TBM_SETRANGE, TRUE, MAKELPARAM(0, 3));
  SendDlgItemMessageA(dialog, IDC_PRIORITY, TBM_SETPOS, TRUE, 2);
  if (debugMode) CheckDlgButton(dialog, IDC_DEBUG, BST_CHECKED);
  int reaction = errorReaction == 'S'   ? IDC_REACTION_STOP
                 : errorReaction == 'I' ? IDC_REACTION_IGNORE
                                        : IDC_REACTION_CONFIRM;
  CheckRadioButton(dialog, IDC_REACTION_STOP, IDC_REACTION_IGNORE, reaction);

  SettingsModel& model = state.model;
  InitResult result = InitSettingsModel(model, dialog);
  FillCombo(dialog, IDC_MODE, model.modes);
  // Without a mode from the command line the box shows the list's first
  // entry, which is the control's first.
  if (!model.modes.empty() && !ModeRequested(model)) model.modeText = model.modes[0];
  SetDlgItemTextA(dialog, IDC_MODE, model.modeText.c_str());
  if (result != InitResult::Ready) {
    EndDialog(dialog, 0);
    return FALSE;
  }
  // The model chose the heads of its own order; the controls' heads count.
  bool availableHead = !model.available.empty() && model.availableText == model.available[0];
  ShowFontSets(dialog, model);
  if (availableHead) {
    model.availableText = model.available[0];
    SetDlgItemTextA(dialog, IDC_AVAILABLE_SETS, model.availableText.c_str());
  }
  SelectFontSet(model, 0);
  if (SendDlgItemMessageA(dialog, IDC_SELECTED_SETS, LB_SETCURSEL, 0, 0) == LB_ERR)
    SelectFontSet(model, -1);
  EnableWindow(GetDlgItem(dialog, IDC_DELETE), model.deleteEnabled);
  CheckDlgButton(dialog, IDC_OVERWRITE, model.overwrite ? BST_CHECKED : BST_UNCHECKED);

  ListDirectory(dialog, model.targetDir);
  EnableWindow(GetDlgItem(dialog, IDC_TARGETDIR), FALSE);
  if (autoExecErrors == 0) SendMessageA(dialog, WM_COMMAND, IDOK, 0);
  return TRUE;
}

// Run: the controls' state into the model, then the model's checks.
void Run(HWND dialog, SettingsModel& model) {
  model.debug = IsDlgButtonChecked(dialog, IDC_DEBUG) == BST_CHECKED;
  model.modeText = DialogItemText(dialog, IDC_MODE);
  model.targetDir = DialogItemText(dialog, IDC_TARGETDIR);
  model.targetDir = CutToBytes(model.targetDir, kPathBytes - 1);
  model.overwrite = IsDlgButtonChecked(dialog, IDC_OVERWRITE) == BST_CHECKED;
  if (int reaction = CheckedReaction(dialog)) model.reaction = reaction;
  model.priorityPosition = static_cast<int>(
      SendDlgItemMessageA(dialog, IDC_PRIORITY, TBM_GETPOS, 0, 0));
  switch (ApplySettings(model, dialog)) {
    case ApplyResult::Run:
      EndDialog(dialog, 1);
      break;
    case ApplyResult::Fail:
      EndDialog(dialog, 0);
      break;
    case ApplyResult::Stay:
      break;
  }
}

void Add(HWND dialog, SettingsModel& model) {
  model.availableText = DialogItemText(dialog, IDC_AVAILABLE_SETS);
  AddTypedFontSet(model);
  ShowFontSets(dialog, model);
}

void Delete(HWND dialog, SettingsModel& model) {
  LRESULT selection = SendDlgItemMessageA(dialog, IDC_SELECTED_SETS, LB_GETCURSEL, 0, 0);
  if (selection == LB_ERR) return;
  SelectFontSet(model, static_cast<int>(selection));
  DeleteFontSet(model);
  ShowFontSets(dialog, model);
}

void SelectionChanged(HWND dialog, SettingsModel& model) {
  LRESULT selection = SendDlgItemMessageA(dialog, IDC_SELECTED_SETS, LB_GETCURSEL, 0, 0);
  SelectFontSet(model, selection == LB_ERR ? -1 : static_cast<int>(selection));
  EnableWindow(GetDlgItem(dialog, IDC_DELETE), model.deleteEnabled);
}

void DebugChanged(HWND dialog, SettingsModel& model) {
  bool checked = IsDlgButtonChecked(dialog, IDC_DEBUG) == BST_CHECKED;
  debugMode = checked ? 1 : 0;
  model.debug = debugMode;
  ConsolePrintf(LOG_INFO, "デバッグチェックボックスはチェック%sました",
                checked ? "され" : "解除");
  DockConsole(dialog, 0);
}

// Any notification of the directory list enters the selected directory or
// drive at once.
void DirectoryChosen(HWND dialog, SettingsModel& model) {
  char buffer[kPathBytes] = {};
  if (DlgDirSelectExA(dialog, buffer, sizeof buffer, IDC_DIRLIST)) {
    DlgDirListA(dialog, buffer, IDC_DIRLIST, IDC_TARGETDIR, kDirListFlags);
    model.targetDir = DialogItemText(dialog, IDC_TARGETDIR);
  }
}

BOOL Command(HWND dialog, SettingsDialogState& state, int id) {
  SettingsModel& model = state.model;
  switch (id) {
    case IDOK:
      Run(dialog, model);
      break;
    case IDCANCEL:
      EndDialog(dialog, 0);
      break;
    case IDC_ADD:
      Add(dialog, model);
      break;
    case IDC_DELETE:
      Delete(dialog, model);
      break;
    case IDC_UNINST:
      if (Uninstall(*state.keys, dialog)) EndDialog(dialog, 0);
      break;
    case IDC_SELECTED_SETS:
      SelectionChanged(dialog, model);
      break;
    case IDC_OVERWRITE:
      model.overwrite = IsDlgButtonChecked(dialog, IDC_OVERWRITE) == BST_CHECKED;
      runSettings.overwrite = model.overwrite;
      break;
    case IDC_DEBUG:
      DebugChanged(dialog, model);
      break;
    case IDC_DIRLIST:
      DirectoryChosen(dialog, model);
      break;
    default:
      break;
  }
  return TRUE;
}

BOOL SystemCommand(HWND dialog, SettingsDialogState& state, WPARAM command) {
  switch (command) {
    case IDM_VERSION:
      ShowVersionDialog(state.instance, dialog);
      return TRUE;
    case SC_MINIMIZE:
      DockConsole(dialog, SWP_HIDEWINDOW);
      return FALSE;
    case SC_MAXIMIZE:
      return TRUE;
    case SC_CLOSE:
      ConfirmCloseDialog(dialog);
      return TRUE;
    case SC_RESTORE:
      if (debugMode) DockConsole(dialog, SWP_SHOWWINDOW);
      return FALSE;
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK SettingsDialogProc(HWND dialog, UINT message, WPARAM wParam,
                                    LPARAM lParam) {
  if (message == WM_INITDIALOG)
    return InitSettingsDialog(dialog, *reinterpret_cast<SettingsDialogState*>(lParam));
  SettingsDialogState* state = StateOf(dialog);
  if (!state) return FALSE;
  switch (message) {
    case WM_MOVE:
      DockConsole(dialog, 0);
      return FALSE;
    case WM_COMMAND:
      return Command(dialog, *state, LOWORD(wParam));
    case WM_SYSCOMMAND:
      return SystemCommand(dialog, *state, wParam);
    default:
      return FALSE;
  }
}

}  // namespace

int ShowSettingsDialog(HINSTANCE instance, KeyStore& keys) {
  SettingsDialogState state;
  state.instance = instance;
  state.keys = &keys;
  INT_PTR result = DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_SETTINGS), nullptr,
                                   SettingsDialogProc, reinterpret_cast<LPARAM>(&state));
  return result == 1 ? 1 : 0;
}
