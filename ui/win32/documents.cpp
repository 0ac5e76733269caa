#include "ui/win32/documents.h"

#include <windows.h>

#include "deffile/reader.h"
#include "deffile/runsettings.h"
#include "run/filesys.h"
#include "run/process_win32.h"
#include "tex/docjobs.h"
#include "ui/dialogue.h"

namespace {

constexpr unsigned kErrorFlags = BOX_SETFOREGROUND | BOX_ICONERROR;
constexpr unsigned kWarningFlags = BOX_SETFOREGROUND | BOX_ICONWARNING;

int Processors() {
  SYSTEM_INFO info = {};
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors > 0 ? static_cast<int>(info.dwNumberOfProcessors) : 1;
}

std::string FullPath(const std::string& path) {
  char buffer[MAX_PATH];
  DWORD n = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
  return n == 0 || n >= sizeof buffer ? path : std::string(buffer, n);
}

// The tree's paths are joined with '/', as kpathsea writes them; Windows
// takes either. A trail byte 0x5C of code page 932 is no separator.
std::string WithSlashes(std::string path) {
  for (std::size_t i = 0; i < path.size(); ++i) {
    unsigned char byte = static_cast<unsigned char>(path[i]);
    if ((byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC))
      ++i;
    else if (byte == '\\')
      path[i] = '/';
  }
  return path;
}

// One item a line; a long list is cut so that the box fits on the screen.
std::string Lines(const std::vector<std::string>& items) {
  constexpr std::size_t kShown = 30;
  std::string text;
  for (std::size_t i = 0; i < items.size() && i < kShown; ++i) text += "\n    " + items[i];
  if (items.size() > kShown)
    text += StringPrintf("\n    ほか %d 個", static_cast<int>(items.size() - kShown));
  return text;
}

}  // namespace

DocumentSetup::~DocumentSetup() {
  if (layout_) SetOutputLayout(nullptr);
}

CachedTexLookup* DocumentSetup::Lookup() {
  if (!lookupTried_) {
    lookupTried_ = true;
    kpsewhich_ = KpsewhichBeside(runSettings.mfCommand);
    if (!kpsewhich_.empty()) {
      kpsewhichLookup_ = std::make_unique<Win32KpsewhichLookup>(kpsewhich_);
      lookup_ = std::make_unique<CachedTexLookup>(*kpsewhichLookup_);
    }
  }
  return lookup_.get();
}

void DocumentSetup::AimLookup() {
  // kpathsea searches "." first: sources from the folder METAFONT runs in,
  // the rest from where kiln.exe was started (a document's virtual fonts),
  // never from a work folder that holds METAFONT's fresh TFM files.
  if (kpsewhichLookup_)
    kpsewhichLookup_->SetDirectories(
        DirectoryStatus(runSettings.targetDir) == 1 ? FullPath(runSettings.targetDir)
                                                    : std::string(),
        startDirectory_);
}

bool DocumentSetup::BeforeSettings() {
  startDirectory_ = CurrentDirectory();
  const std::string& path = runSettings.definitionPath;
  std::string value;
  int jobs = ReadJobs(path, value);
  jobsGiven_ = jobs != kJobsAbsent;
  if (jobs == kJobsInvalid)
    MessageBoxPrintf(nullptr, kProductTitle, kWarningFlags,
                     "定義ファイル\n%s\nの JOBS %s は 0 から %d までの数ではありません。\n"
                     "フォントは一つずつ生成します。",
                     path.c_str(), value.c_str(), kMaxJobsLine);
  if (jobs == 0) jobs = Processors();
  if (jobs < 1) jobs = 1;
  workers_ = jobs < Win32ProcessRunner::kMaxChildren ? jobs : Win32ProcessRunner::kMaxChildren;

  runSettings.treeRoot.clear();
  std::string texmf;
  int found = ReadTexmf(path, texmf);
  if (found < 0) {
    MessageBoxPrintf(nullptr, kProductTitle, kErrorFlags,
                     "定義ファイル\n%s\nの TEXMF %s はコロンで終わっているため使えません\n"
                     "(その行がフォントセットのラベルになります)。%s\\ のように書いて下さい。\n"
                     "フォントの生成は行いません。",
                     path.c_str(), texmf.c_str(), texmf.c_str());
    return false;
  }
  if (found == 0) return true;
  std::string root = texmf;
  const char* variable = texmf == "var" ? "TEXMFVAR" : texmf == "home" ? "TEXMFHOME" : nullptr;
  if (variable) {
    CachedTexLookup* lookup = Lookup();
    root = lookup ? lookup->Variable(variable) : std::string();
    if (root.empty()) {
      MessageBoxPrintf(nullptr, kProductTitle, kErrorFlags,
                       "定義ファイルの TEXMF %s の場所 (%s) を kpsewhich.exe から\n"
                       "得られませんでした。フォントの生成は行いません。",
                       texmf.c_str(), variable);
      return false;
    }
  }
  root = WithSlashes(FullPath(root));
  const std::string work = root + "/" + kTreeWorkDir;
  if (!MakeDirectories(work)) {
    MessageBoxPrintf(nullptr, kProductTitle, kErrorFlags,
                     "TeX のツリー\n%s\nにディレクトリ\n%s\nを作成できません(%s)。\n"
                     "フォントの生成は行いません。",
                     root.c_str(), work.c_str(), LastErrorText().c_str());
    return false;
  }
  runSettings.treeRoot = root;
  return true;
}

bool DocumentSetup::AfterSettings() {
  runSettings.documentFonts.clear();
  if (!runSettings.treeRoot.empty()) {
    if (!IsPlainFontName(runSettings.modeName)) {
      MessageBoxPrintf(nullptr, kProductTitle, kErrorFlags,
                       "mode 名 \"%s\" は TeX のツリーのディレクトリ名に使えません。\n"
                       "フォントの生成は行いません。",
                       runSettings.modeName.c_str());
      return false;
    }
    // Without kpathsea every font would be filed under one fixed folder
    // and every TFM copied: better not to start.
    CachedTexLookup* lookup = Lookup();
    AimLookup();
    if (lookup) lookup->Variable("TEXMFMAIN");
    if (!lookup || !kpsewhichLookup_->failure().empty()) {
      MessageBoxPrintf(nullptr, kProductTitle, kErrorFlags,
                       "TeX のツリー\n%s\nに入れるには, METAFONT のプログラムと同じディレクトリの\n"
                       "kpsewhich.exe が必要ですが, 使えませんでした。%s\n"
                       "フォントの生成は行いません。",
                       runSettings.treeRoot.c_str(),
                       lookup ? kpsewhichLookup_->failure().c_str() : "");
      return false;
    }
    layout_ = std::make_unique<TreeLayout>(runSettings.treeRoot, runSettings.modeName, *lookup);
    SetOutputLayout(layout_.get());
  }
  std::vector<std::string> documents = runSettings.documentFiles;
  if (documents.empty()) return true;
  CachedTexLookup* lookup = Lookup();
  if (!lookup) {
    MessageBoxPrintf(nullptr, kProductTitle, kErrorFlags,
                     "METAFONT のプログラムと同じディレクトリに kpsewhich.exe が\n"
                     "見つからないため, 次の DVI ファイルのフォントは生成しません。%s",
                     Lines(documents).c_str());
    return true;
  }
  AimLookup();
  DocumentPlan plan;
  std::string error;
  // No font map: the Windows program builds a bitmap for every font its
  // documents use, as it always has.
  const FontMapChoice bitmapsOnly{kNoMap, true};
  // A virtual font that kpathsea finds in "." comes back as "./NAME.vf":
  // it is read from the folder kpsewhich.exe ran in, which the settings
  // dialog's directory list has left.
  const std::string dialogDirectory = CurrentDirectory();
  ChangeDirectory(startDirectory_);
  const bool planned = PlanDocumentFonts(documents, {}, static_cast<int>(runSettings.resolution),
                                         bitmapsOnly, *lookup, plan, error);
  ChangeDirectory(dialogDirectory);
  if (!planned) {
    MessageBoxPrintf(nullptr, kProductTitle, kErrorFlags,
                     "DVI ファイルを読み込めませんでした。\n%s\nフォントの生成は行いません。",
                     error.c_str());
    return false;
  }
  if (!kpsewhichLookup_->failure().empty()) {
    MessageBoxPrintf(nullptr, kProductTitle, kErrorFlags,
                     "kpsewhich.exe を実行できないため, 次の DVI ファイルのフォントは\n"
                     "生成しません(%s)。%s",
                     kpsewhichLookup_->failure().c_str(), Lines(documents).c_str());
    return true;
  }
  for (const std::string& report : plan.reports) ConsolePrintf(LOG_WARNING, "%s", report.c_str());
  if (!plan.withoutSource.empty())
    MessageBoxPrintf(nullptr, kProductTitle, kWarningFlags,
                     "次の %d 個のフォントは METAFONT のソースファイルが見つからないため\n"
                     "生成しません。%s",
                     static_cast<int>(plan.withoutSource.size()),
                     Lines(plan.withoutSource).c_str());
  runSettings.documentFonts = plan.fonts;
  if (layout_) layout_->Prefetch(plan.fonts);
  return true;
}
