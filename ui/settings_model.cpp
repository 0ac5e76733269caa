#include "ui/settings_model.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>

#include "deffile/reader.h"
#include "deffile/runsettings.h"
#include "run/cmdline.h"
#include "tex/layout.h"
#include "ui/log.h"

const char* const kEmptyListText = TR_NOOP("空っぽです");

namespace {

constexpr unsigned kErrorFlags = BOX_SETFOREGROUND | BOX_ICONERROR;

// Only ASCII letters fold: the texts are code page 932 byte strings, whose
// other bytes have no case.
unsigned char FoldCase(char c) {
  unsigned char byte = static_cast<unsigned char>(c);
  return (byte >= 'A' && byte <= 'Z') ? static_cast<unsigned char>(byte - 'A' + 'a')
                                      : byte;
}

bool StartsWithIgnoringCase(const std::string& text, const std::string& prefix) {
  if (prefix.size() > text.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (FoldCase(text[i]) != FoldCase(prefix[i])) return false;
  return true;
}

void ShowTargetDirMessage(BoxOwner owner, const std::string& targetDir) {
  const char* path = runSettings.definitionPath.c_str();
  if (!targetDir.empty() && targetDir[0] == '*') {
    MessageBoxPrintf(owner, kProductTitle, kErrorFlags,
                     TR("定義ファイル\n%s\nに TARGET_DIR (フォントの作成先ディレクトリ)が設定\n"
                     "されていません。\n【例】\n    TARGET_DIR c:/usr/local/lib/texmf/pk\n"
                     "等のように設定して下さい。尚, このディレクトリは既\n"
                     "存である必要があります。\n"
                     "ダイアログでフォントの作成先ディレクトリを正しく設\n"
                     "定すれば, 継続出来ます。次回からはちゃんと定義ファ\n"
                     "イルに設定して下さい。"),
                     path);
  } else {
    MessageBoxPrintf(owner, kProductTitle, kErrorFlags,
                     TR("定義ファイル\n%s\nに設定されていいる TARGET_DIR\n%s は\n"
                     "存在しないか, 又はディレクトリではありません。\n"
                     "ダイアログでフォントの作成先ディレクトリを正し\n"
                     "く設定すれば,   継続出来ます。次回からは正しい\n"
                     "ディレクトリちゃんと定義ファイルに設定して下さ\nい。"),
                     path, targetDir.c_str());
  }
}

void FillModes(SettingsModel& model, int& matches) {
  bool wanted = argCount > 1;
  int wantedResolution = wanted ? ResolutionValue(argVector[1]) : 0;
  int resolution = 0;
  std::string modeName;
  while (NextMode(runSettings.definitionPath, resolution, modeName)) {
    std::string text = StringPrintf("%ddpi %s", resolution, modeName.c_str());
    InsertSorted(model.modes, text);
    // Of several lines for the requested resolution the last one wins.
    if (wanted && wantedResolution == resolution) {
      model.modeText = text;
      ++matches;
    }
  }
}

void FillFontSets(SettingsModel& model) {
  std::string label;
  while (NextFontSetLabel(runSettings.definitionPath, label)) {
    label.pop_back();  // the colon
    InsertSorted(model.available, label);
  }
  for (int i = 2; i < argCount; ++i) {
    // A font-set argument must name a set exactly, as start-up checks it:
    // a prefix or case-blind match would choose a set under a name that the
    // job generator cannot find, and the batch would build nothing.
    auto found = std::find(model.available.begin(), model.available.end(), argVector[i]);
    if (found == model.available.end()) {
      ++model.autoExecErrors;
      continue;
    }
    model.available.erase(found);
    InsertSorted(model.selected, argVector[i]);
  }
}

void ShowAvailableHead(SettingsModel& model) {
  model.addEnabled = !model.available.empty();
  model.availableText = model.addEnabled ? model.available[0] : TR(kEmptyListText);
}

// The pause box of debug mode, before the batch starts.
void DebugPause(BoxOwner owner) {
  if (debugMode && debugPauseBox)
    ShowBox(owner, TR("一時停止"), TR_NOOP("デバッグ"), BOX_ICONINFORMATION | BOX_SETFOREGROUND);
}

// The path of the document listed as name, or null for a font set.
const std::string* DocumentPath(const SettingsModel& model, const std::string& name) {
  for (const auto& document : model.documents)
    if (document.first == name) return &document.second;
  return nullptr;
}

// Rebuilds runSettings.fontSets from the chosen list, in its order; the
// chosen documents go to runSettings.documentFiles.
bool BuildFontSets(const SettingsModel& model, BoxOwner owner) {
  runSettings.fontSets.reset();
  runSettings.documentFiles.clear();
  std::unique_ptr<FontSetNode>* tail = &runSettings.fontSets;
  for (const std::string& name : model.selected) {
    if (const std::string* path = DocumentPath(model, name)) {
      runSettings.documentFiles.push_back(*path);
      ConsolePrintf(LOG_INFO, "Document %s", path->c_str());
      continue;
    }
    const char* failure = tail == &runSettings.fontSets ? TR("メモリが足りません(TOP)")
                                                        : TR("メモリが足りません(NEXT)");
    try {
      *tail = std::make_unique<FontSetNode>();
      failure = TR("メモリが足りません(FONT)");
      (*tail)->name = name;
    } catch (const std::bad_alloc&) {
      ShowBox(owner, failure, kProductTitle, kErrorFlags);
      return false;
    }
    ConsolePrintf(LOG_INFO, "Font set(%x) %s",
                  static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(tail->get())),
                  (*tail)->name.c_str());
    tail = &(*tail)->next;
  }
  return true;
}

}  // namespace

int CompareListText(const std::string& a, const std::string& b) {
  std::size_t length = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < length; ++i) {
    unsigned char x = FoldCase(a[i]);
    unsigned char y = FoldCase(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

int InsertSorted(std::vector<std::string>& list, const std::string& text) {
  std::size_t index = 0;
  while (index < list.size() && CompareListText(list[index], text) <= 0) ++index;
  list.insert(list.begin() + static_cast<std::ptrdiff_t>(index), text);
  return static_cast<int>(index);
}

int FindListPrefix(const std::vector<std::string>& list, const std::string& text) {
  for (std::size_t i = 0; i < list.size(); ++i)
    if (StartsWithIgnoringCase(list[i], text)) return static_cast<int>(i);
  return -1;
}

int ResolutionValue(const std::string& text) {
  long value = std::strtol(text.c_str(), nullptr, 10);
  if (value > INT_MAX) return INT_MAX;
  if (value < INT_MIN) return INT_MIN;
  return static_cast<int>(value);
}

bool debugPauseBox = true;

InitResult InitSettingsModel(SettingsModel& model, BoxOwner owner) {
  model = SettingsModel();
  model.debug = debugMode;
  if (errorReaction == 'S' || errorReaction == 'I')
    model.reaction = errorReaction;
  else
    model.reaction = 'C';

  int matches = 0;
  FillModes(model, matches);
  if (model.modes.empty()) {
    MessageBoxPrintf(owner, kProductTitle, kErrorFlags,
                     TR("定義ファイル\n%s\nに 解像度と mode の記述が一つも設定されていません。\n"
                     "この記述は必ず必要です。\n【例】\n    400 nexthi\n    118 bitgraph\n"
                     "等, 自分が良く使用する mode 名と対応する解像度を指\n"
                     "定して下さい。使用出来る mode 名は MATAFONT のイン\n"
                     "ストール方法によって異なります"),
                     runSettings.definitionPath.c_str());
    autoExecErrors = model.autoExecErrors;
    return InitResult::NoModes;
  }
  if (matches == 0) {
    model.modeText = model.modes[0];
    ++model.autoExecErrors;
    ConsolePrintf(LOG_ALERT, "Auto exec -MODE-");
  }

  FillFontSets(model);
  if (model.available.empty() && model.selected.empty()) {
    MessageBoxPrintf(owner, kProductTitle, kErrorFlags,
                     TR("定義ファイル\n%s\nにフォントセットのラベルが一つも設定されていません。\n"
                     "この記述は必ず一つは必要です。"),
                     runSettings.definitionPath.c_str());
    autoExecErrors = model.autoExecErrors;
    return InitResult::NoFontSets;
  }
  // Documents count as font-set arguments: they alone start chosen.
  for (std::size_t i = 0; i < documentArguments.size(); ++i) {
    std::string name = DocumentListName(documentArguments, i);
    model.documents.emplace_back(name, documentArguments[i]);
    InsertSorted(model.selected, name);
  }
  // Without font-set arguments every set starts selected.
  if (model.selected.empty()) {
    for (const std::string& name : model.available) InsertSorted(model.selected, name);
    model.available.clear();
  }
  ShowAvailableHead(model);
  SelectFontSet(model, 0);

  runSettings.overwrite = FindForce(runSettings.definitionPath);
  model.overwrite = runSettings.overwrite;

  if (!runSettings.treeRoot.empty()) {
    // The fonts go into a TeX tree: TARGET_DIR is neither needed nor checked.
    model.treeRoot = runSettings.treeRoot;
    runSettings.targetDir = runSettings.treeRoot + "/" + kTreeWorkDir;
  } else if (!ReadTargetDir(runSettings.definitionPath, runSettings.targetDir)) {
    ++model.autoExecErrors;
    ShowTargetDirMessage(owner, runSettings.targetDir);
    runSettings.targetDir = ".";
  }
  model.targetDir = runSettings.targetDir;

  autoExecErrors = model.autoExecErrors;
  ConsolePrintf(LOG_INFO, "Auto exec argc=%d Error=%d", argCount, autoExecErrors);
  return InitResult::Ready;
}

std::string DocumentListName(const std::vector<std::string>& paths, std::size_t index) {
  // The paths are code page 932 text: a trail byte may be 0x5C.
  auto fileName = [](const std::string& path) {
    std::size_t start = 0;
    for (std::size_t i = 0; i < path.size(); ++i) {
      unsigned char byte = static_cast<unsigned char>(path[i]);
      if ((byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC)) {
        ++i;
        continue;
      }
      if (byte == '\\' || byte == '/' || byte == ':') start = i + 1;
    }
    return path.substr(start);
  };
  const std::string name = fileName(paths[index]);
  for (std::size_t i = 0; i < paths.size(); ++i)
    if (i != index && fileName(paths[i]) == name) return paths[index];
  return name;
}

void AddFontSet(SettingsModel& model, int availableIndex) {
  if (availableIndex < 0 || availableIndex >= static_cast<int>(model.available.size()))
    return;
  std::string text = model.available[static_cast<std::size_t>(availableIndex)];
  model.available.erase(model.available.begin() + availableIndex);
  int inserted = InsertSorted(model.selected, text);
  // The list keeps its selected entry selected when another one is inserted.
  if (model.selectedIndex >= inserted) ++model.selectedIndex;
  ShowAvailableHead(model);
  ConsolePrintf(LOG_INFO, "%s (RET %d)", model.availableText.c_str(), 1);
}

void AddTypedFontSet(SettingsModel& model) {
  int found = FindListPrefix(model.available, model.availableText);
  if (found >= 0) AddFontSet(model, found);
}

void DeleteFontSet(SettingsModel& model) {
  if (model.selectedIndex < 0 ||
      model.selectedIndex >= static_cast<int>(model.selected.size()))
    return;
  std::string text = model.selected[static_cast<std::size_t>(model.selectedIndex)];
  model.selected.erase(model.selected.begin() + model.selectedIndex);
  InsertSorted(model.available, text);
  model.availableText = text;
  model.selectedIndex = -1;
  if (!model.selected.empty())
    model.selectedIndex = 0;
  else
    model.deleteEnabled = false;
  model.addEnabled = true;
}

void SelectFontSet(SettingsModel& model, int index) {
  bool valid = index >= 0 && index < static_cast<int>(model.selected.size());
  model.selectedIndex = valid ? index : -1;
  model.deleteEnabled = valid;
}

ApplyResult ApplySettings(SettingsModel& model, BoxOwner owner) {
  debugMode = model.debug;

  // The mode must be an entry of the list (as the list finds it) and carry a
  // mode name after its resolution; a bare resolution has nothing to give
  // METAFONT.
  const std::string& modeText = model.modeText;
  std::size_t blank = modeText.find(' ');
  if (FindListPrefix(model.modes, modeText) < 0 || blank == std::string::npos ||
      blank + 1 >= modeText.size()) {
    MessageBoxPrintf(owner, kProductTitle, kErrorFlags, "%s",
                     TR("mode 名の指定に誤りがあります。 mode 名の横の↓を押し\n"
                     "て, 一覧から選択して下さい"));
    return ApplyResult::Stay;
  }
  runSettings.resolution = ResolutionValue(modeText);
  runSettings.modeName = modeText.substr(blank + 1);
  ConsolePrintf(LOG_INFO, "DPI=%f, Mode=%s", runSettings.resolution,
                runSettings.modeName.c_str());

  runSettings.targetDir = model.targetDir;
  ConsolePrintf(LOG_INFO, "TargetDir = %s", runSettings.targetDir.c_str());
  runSettings.overwrite = model.overwrite;
  ConsolePrintf(LOG_INFO, "OverWrite=%d", runSettings.overwrite);

  if (!BuildFontSets(model, owner)) return ApplyResult::Fail;
  if (model.selected.empty() && !model.fontSetsOptional) {
    ShowBox(owner, TR("フォントセットが選択されていません。"), kProductTitle, kErrorFlags);
    return ApplyResult::Stay;
  }

  if (model.reaction == 'S' || model.reaction == 'C' || model.reaction == 'I')
    errorReaction = model.reaction;
  ConsolePrintf(LOG_ALERT, "ErrorReaction = %c", errorReaction);

  priorityClass = PriorityClassForPosition(model.priorityPosition);
  ConsolePrintf(LOG_INFO, "MF Priority = %d", model.priorityPosition);
  if (model.priorityPosition != 2) {
    int answer = ShowBox(owner,
                         TR("METAFONTのプライオリティが普通以外に設定されています。"
                         "普通以外のプライオリティで実行すると, 場合によっては, "
                         "他のアプリケーションを使用している時にマウスやキーボードの"
                         "反応が悪くなったり, 逆に METAFONT の反応が悪くなる事があり"
                         "ますが, 宜しいですか。"),
                         kProductTitle,
                         BOX_SETFOREGROUND | BOX_ICONQUESTION | BOX_OKCANCEL);
    if (answer != ANSWER_OK) return ApplyResult::Stay;
  }

  DebugPause(owner);
  return ApplyResult::Run;
}
