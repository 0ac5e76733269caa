#include "ui/term/settings_screen.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "deffile/reader.h"
#include "deffile/runsettings.h"
#include "install/locate.h"
#include "run/cmdline.h"
#include "run/filesys.h"
#include "ui/term/paths.h"
#include "ui/term/term_output.h"
#include "ui/term/tty.h"

namespace {

const char* const kPriorityLabels[4] = {TR_NOOP("特急"), TR_NOOP("急行"), TR_NOOP("普通"),
                                        TR_NOOP("徒歩")};

std::string Join(const std::vector<std::string>& list) {
  std::string text;
  for (const std::string& entry : list) text += (text.empty() ? "" : ", ") + entry;
  return text;
}

std::string Numbered(const std::vector<std::string>& list) {
  std::string text;
  for (std::size_t i = 0; i < list.size(); ++i)
    text += "  " + std::to_string(i + 1) + ") " + list[i] + "\n";
  return text;
}

// A number 1..count typed at a prompt, as an index; -1 for anything else.
int ChosenIndex(const std::string& typed, std::size_t count) {
  if (typed.empty() || typed.size() > 6) return -1;
  for (char c : typed)
    if (c < '0' || c > '9') return -1;
  int n = std::atoi(typed.c_str());
  return n >= 1 && static_cast<std::size_t>(n) <= count ? n - 1 : -1;
}

bool Prompt(const std::string& text, std::string& typed) {
  Tty::Write(text);
  return Tty::ReadLine(typed);
}

void Say(const std::string& text) { Output().Print(stderr, text); }

// Why the run did not start by itself, as far as the command line tells.
std::string ReasonsNotStarted(const SettingsModel& model, const TermOptions& options,
                              bool targetUnusable) {
  std::string reasons;
  if (targetUnusable && options.targetDir.empty())
    reasons += TR("  TARGET_DIR is not an existing directory (--target-dir DIR helps)\n");
  if (options.words.empty()) {
    reasons += TR("  no RESOLUTION was given\n");
  } else {
    int wanted = std::atoi(options.words[0].c_str());
    bool found = false;
    for (const std::string& mode : model.modes) found |= std::atoi(mode.c_str()) == wanted;
    if (!found)
      reasons += StringPrintf(TR("  no mode line has the resolution %s\n"),
                              options.words[0].c_str());
    for (std::size_t i = 1; i < options.words.size(); ++i) {
      bool chosen = false;
      for (std::size_t k = 1; k < i; ++k) chosen |= options.words[k] == options.words[i];
      bool known = false;
      for (const std::string& set : model.selected) known |= set == options.words[i];
      if (chosen || !known)
        reasons += StringPrintf(chosen ? TR("  the font set %s is named twice\n")
                                       : TR("  the font set %s is not in the definition file\n"),
                                options.words[i].c_str());
    }
  }
  return reasons;
}

}  // namespace

bool SettingsScreenAvailable() { return isatty(STDIN_FILENO) && Tty::Available(); }

bool PresetSettings(SettingsModel& model, const TermOptions& options,
                    bool targetDirWasUnusable, std::string& error) {
  if (options.overwrite) {
    model.overwrite = 1;
    runSettings.overwrite = 1;
  }
  if (options.debug) {
    model.debug = 1;
    debugMode = 1;
  }
  if (!options.dvi.empty() || !options.missfont.empty()) {
    // The documents give the jobs; font sets only when they are named.
    model.fontSetsOptional = true;
    if (options.words.size() <= 1) {
      for (const std::string& name : model.selected) InsertSorted(model.available, name);
      model.selected.clear();
      model.addEnabled = true;
      model.availableText = model.available[0];
      SelectFontSet(model, -1);
    }
  }
  if (options.priority >= 0) model.priorityPosition = options.priority;
  if (options.reaction) model.reaction = options.reaction;
  if (!options.targetDir.empty()) {
    if (DirectoryStatus(options.targetDir) != 1) {
      error = StringPrintf(TR("--target-dir %s: not an existing directory"),
                           options.targetDir.c_str());
      return false;
    }
    model.targetDir = AbsolutePath(options.targetDir);
    runSettings.targetDir = model.targetDir;
    if (targetDirWasUnusable && model.autoExecErrors > 0) --model.autoExecErrors;
  }
  return true;
}

std::string FormatSettingsScreen(const SettingsModel& model) {
  std::string s = std::string("\n") + TR(kVersionTitle) + "\n";
  s += TR("  [M] mode:                 ") + model.modeText + "\n";
  // The dialog's captions without their Windows mnemonics: here the key
  // in brackets does that work.
  s += TR("  [A] 追加                   ") +
       (model.addEnabled ? Join(model.available) : std::string(TR(kEmptyListText))) + "\n";
  s += TR("  [D] 削除   生成フォントセット: ") + Join(model.selected) + "\n";
  if (model.treeRoot.empty())
    s += TR("  [T] 生成先ディレクトリ:   ") + model.targetDir + "\n";
  else
    s += TR("      TeX tree (--texmf):   ") + model.treeRoot + "\n";
  s += std::string("  [O] [") + (model.overwrite ? "x" : " ") + TR("] フォントを上書きする\n");
  s += std::string("  [G] [") + (model.debug ? "x" : " ") + TR("] with debugging mode\n");
  s += TR("  [P] priority:");
  for (int i = 0; i < 4; ++i)
    s += i == model.priorityPosition ? std::string(" >") + TR(kPriorityLabels[i]) + "<"
                                     : std::string("  ") + TR(kPriorityLabels[i]) + " ";
  s += TR("\n  Reaction:");
  s += std::string("  [S] (") + (model.reaction == 'S' ? "*" : " ") + TR(") 停止");
  s += std::string("  [C] (") + (model.reaction == 'C' ? "*" : " ") + TR(") 確認");
  s += std::string("  [I] (") + (model.reaction == 'I' ? "*" : " ") + TR(") 無視\n");
  s += TR("  [R]/Enter 実行   [X] 終了   [U] Uninst\n");
  return s;
}

namespace {

// The settings screen: 1 = run, 0 = end.
int SettingsScreen(SettingsModel& model, KeyStore& keys) {
  for (;;) {
    Tty::Write(FormatSettingsScreen(model) + "> ");
    int key = Tty::ReadKey({}, nullptr);
    Tty::Write("\n");
    std::string typed;
    switch (key) {
      case -2: case 3: case 27: case 'x': case 'X': case 'q': case 'Q':
        return 0;
      case 'r': case 'R': case '\r': case '\n':
        switch (ApplySettings(model, nullptr)) {
          case ApplyResult::Run: return 1;
          case ApplyResult::Fail: return 0;
          case ApplyResult::Stay: break;
        }
        break;
      case 'm': case 'M': {
        Tty::Write(Numbered(model.modes));
        if (!Prompt(TR("mode (number, or text): "), typed) || typed.empty()) break;
        int index = ChosenIndex(typed, model.modes.size());
        model.modeText = index >= 0 ? model.modes[static_cast<std::size_t>(index)] : typed;
        break;
      }
      case 'a': case 'A': {
        if (!model.addEnabled) {
          Tty::Write(std::string(TR(kEmptyListText)) + "\n");
          break;
        }
        Tty::Write(Numbered(model.available));
        if (!Prompt(TR("font set to add (number, or name): "), typed) || typed.empty()) break;
        int index = ChosenIndex(typed, model.available.size());
        if (index >= 0) {
          AddFontSet(model, index);
        } else {
          model.availableText = typed;
          AddTypedFontSet(model);
        }
        break;
      }
      case 'd': case 'D': {
        if (model.selected.empty()) break;
        Tty::Write(Numbered(model.selected));
        if (!Prompt(TR("font set to remove (number): "), typed)) break;
        int index = ChosenIndex(typed, model.selected.size());
        if (index < 0) break;
        model.selectedIndex = index;
        DeleteFontSet(model);
        break;
      }
      case 't': case 'T': {
        if (!model.treeRoot.empty()) break;  // the tree is the command line's
        if (!Prompt(TR("生成先ディレクトリ: "), typed) || typed.empty()) break;
        if (DirectoryStatus(typed) != 1) {
          Say(StringPrintf(TR("%s: not an existing directory\n"), typed.c_str()));
          break;
        }
        model.targetDir = AbsolutePath(typed);
        runSettings.targetDir = model.targetDir;
        break;
      }
      case 'o': case 'O':
        model.overwrite = !model.overwrite;
        runSettings.overwrite = model.overwrite;
        break;
      case 'g': case 'G':
        model.debug = !model.debug;
        debugMode = model.debug;
        ConsolePrintf(LOG_INFO, TR("デバッグチェックボックスはチェック%sました"),
                      model.debug ? TR("され") : TR("解除"));
        break;
      case 'p': case 'P': {
        Tty::Write(TR("priority: 0 特急, 1 急行, 2 普通, 3 徒歩? "));
        int choice = Tty::ReadKey({}, nullptr);
        Tty::Write("\n");
        if (choice >= '0' && choice <= '3') model.priorityPosition = choice - '0';
        break;
      }
      case 's': case 'S': model.reaction = 'S'; break;
      case 'c': case 'C': model.reaction = 'C'; break;
      case 'i': case 'I': model.reaction = 'I'; break;
      case 'u': case 'U':
        if (Uninstall(keys, nullptr)) return 0;
        break;
      default:
        break;
    }
  }
}

}  // namespace

int SettleSettings(const TermOptions& options, KeyStore& keys) {
  // Whether TARGET_DIR is usable, asked quietly, so that --target-dir can
  // make up for it.
  std::string fileTarget;
  bool targetUnusable = runSettings.treeRoot.empty() &&
                        ReadTargetDir(runSettings.definitionPath, fileTarget) == 0;
  CloseDefinitionReader();

  SettingsModel model;
  if (InitSettingsModel(model, nullptr) != InitResult::Ready) return 0;
  if (model.targetDir.empty() || model.targetDir == ".")
    model.targetDir = AbsolutePath(".");
  else
    model.targetDir = AbsolutePath(model.targetDir);
  runSettings.targetDir = model.targetDir;
  std::string error;
  if (!PresetSettings(model, options, targetUnusable, error)) {
    Say("kiln: " + error + "\n");
    return 0;
  }
  autoExecErrors = model.autoExecErrors;
  bool triedAutomatically = false;
  if (model.autoExecErrors == 0) {
    triedAutomatically = true;
    switch (ApplySettings(model, nullptr)) {
      case ApplyResult::Run: return 1;
      case ApplyResult::Fail: return 0;
      case ApplyResult::Stay: break;
    }
  }
  if (SettingsScreenAvailable()) return SettingsScreen(model, keys);
  std::string why = triedAutomatically ? std::string(TR("  the settings were not confirmed\n"))
                                       : ReasonsNotStarted(model, options, targetUnusable);
  Say(TR("kiln: the run cannot start by itself, and without a terminal there is no "
         "settings screen:\n") + why);
  return 0;
}
