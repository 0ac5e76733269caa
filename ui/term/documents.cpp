#include "ui/term/documents.h"

#include <cstdlib>

#include "deffile/runsettings.h"
#include "ui/log.h"
#include "tex/docjobs.h"
#include "tex/searchpath.h"
#include "run/filesys.h"
#include "run/jobgen.h"
#include "ui/term/paths.h"
#include "ui/term/term_output.h"

namespace {

void Say(const std::string& text) { Output().Print(stderr, text); }

std::string Absolute(const std::string& path) {
  std::string full = AbsolutePath(path);
  if (!full.empty() && full[0] == '/') return full;
  return CurrentDirectory() + "/" + path;
}

// Stands in for the tree while the font sets' jobs are listed: it records
// each job the generator would check, and finds none present.
class JobRecorder : public OutputLayout {
 public:
  void Prepare() override {}
  int PkExists(const std::string& fontName, int resolution) override {
    fonts.push_back({fontName, resolution});
    return 0;
  }
  int FileOutputs(const std::string&, int, const std::string&) override { return 0; }
  std::vector<DocumentFont> fonts;
};

// Every job of the chosen font sets (whether built already or not).
std::vector<DocumentFont> FontSetJobs() {
  JobRecorder recorder;
  OutputLayout& tree = CurrentLayout();
  SetOutputLayout(&recorder);
  const int overwrite = runSettings.overwrite;
  runSettings.overwrite = 0;  // so that every job is checked, and recorded
  std::string command;
  for (const FontSetNode* node = runSettings.fontSets.get(); node; node = node->next.get())
    while (NextMetafontJob(runSettings, node->name, command)) {
    }
  runSettings.overwrite = overwrite;
  SetOutputLayout(&tree);
  return recorder.fonts;
}

}  // namespace

std::string UnreadableDocumentText(const std::string& error) {
  return "kiln: " + error + "\nkiln: the run ends; no font is built\n";
}

std::string NoKpathseaText(const std::string& failure) {
  return "kiln: kpathsea cannot be asked where the fonts are: " + failure +
         "\nkiln: the run ends; no font is built\n";
}

FontMapChoice MapChoiceFor(const TermOptions& options) {
  FontMapChoice choice;
  if (options.mapFile == kMapDefault) return choice;  // dvips's, when there is one
  choice.file = options.mapFile;
  choice.optional = false;
  return choice;
}

std::string OutlineListText(int count, const std::string& map) {
  if (count <= 0) return std::string();
  if (count == 1)
    return StringPrintf(TR("kiln: 1 font is drawn from an outline font (%s); not built\n"),
                        map.c_str());
  return StringPrintf(TR("kiln: %d fonts are drawn from outline fonts (%s); not built\n"), count,
                      map.c_str());
}

std::string WithoutSourceText(const std::vector<std::string>& names) {
  std::string text = "kiln: no METAFONT source found for " + std::to_string(names.size()) +
                     (names.size() == 1 ? " font" : " fonts") + "; not built:";
  for (const std::string& name : names) text += " " + name;
  return text + "\n";
}

DocumentRun::~DocumentRun() {
  if (layout_) SetOutputLayout(nullptr);
}

CachedTexLookup& DocumentRun::Lookup() {
  if (!lookup_) {
    kpsewhich_ = std::make_unique<KpsewhichLookup>(KpsewhichFor(runSettings.mfCommand));
    lookup_ = std::make_unique<CachedTexLookup>(*kpsewhich_);
  }
  return *lookup_;
}

bool DocumentRun::ChooseTree(bool create) {
  runSettings.treeRoot.clear();
  if (options_.texmf.empty()) return true;
  std::string root = options_.texmf;
  const std::string variable = TexmfVariable(root);
  if (!variable.empty()) {
    root = Lookup().Variable(variable);
    if (root.empty()) {
      Say("kiln: --texmf " + options_.texmf + ": kpathsea gives no " + variable +
          (kpsewhich_->failure().empty() ? std::string()
                                         : " (" + kpsewhich_->failure() + ")") +
          "\n");
      return false;
    }
  }
  if (create) {
    const std::string work = Absolute(root) + "/" + kTreeWorkDir;
    if (!MakeDirectories(work)) {
      Say("kiln: the TeX tree " + root + " cannot be used: " + work + ": " +
          LastErrorText() + "\n");
      return false;
    }
  }
  runSettings.treeRoot = Absolute(root);
  return true;
}

bool DocumentRun::PlanJobs() {
  runSettings.documentFonts.clear();
  runSettings.outlineFonts = 0;
  static bool startFolderAdded = false;
  if (documentsGiven() && !startFolderAdded) {
    // A driver's font making runs where the document is, and kpathsea's "."
    // finds a source beside it; lookups and METAFONT run elsewhere, so that
    // folder goes first on METAFONT's search path, for both.
    const std::string withStart =
        SearchPathWithFolder(CurrentDirectory(), std::getenv("MFINPUTS"));
    if (!withStart.empty())
      setenv("MFINPUTS", withStart.c_str(), 1);
    else
      Say("kiln: the name of the folder " + CurrentDirectory() +
          " cannot be put on kpathsea's search path; sources in it are not looked for\n");
    startFolderAdded = true;
  }
  Lookup();
  kpsewhich_->SetDirectories(
      DirectoryStatus(runSettings.targetDir) == 1 ? runSettings.targetDir : std::string(),
      CurrentDirectory());
  if (!runSettings.treeRoot.empty()) {
    if (!IsPlainFontName(runSettings.modeName)) {
      Say("kiln: the mode name \"" + runSettings.modeName +
          "\" cannot be a folder of a TeX tree\n");
      return false;
    }
    // Without kpathsea every font would be filed under the fixed REL and
    // every TFM copied: better not to start.
    Lookup().Variable("TEXMFMAIN");
    if (!kpsewhich_->failure().empty()) {
      Say(NoKpathseaText(kpsewhich_->failure()));
      return false;
    }
    layout_ = std::make_unique<TreeLayout>(runSettings.treeRoot, runSettings.modeName,
                                           Lookup());
    SetOutputLayout(layout_.get());
    // Each job's check asks kpathsea for its source and its PK file: ask
    // for all of them at once, as for documents, not two calls a font.
    layout_->Prefetch(FontSetJobs());
  }
  if (!documentsGiven()) return true;
  DocumentPlan plan;
  std::string error;
  if (!PlanDocumentFonts(options_.dvi, options_.missfont,
                         static_cast<int>(runSettings.resolution), MapChoiceFor(options_),
                         Lookup(), plan, error)) {
    Say(UnreadableDocumentText(error));
    return false;
  }
  if (!kpsewhich_->failure().empty()) {
    Say(NoKpathseaText(kpsewhich_->failure()));
    return false;
  }
  for (const std::string& report : plan.reports) Say("kiln: " + report + "\n");
  if (!plan.withoutSource.empty()) Say(WithoutSourceText(plan.withoutSource));
  runSettings.documentFonts = plan.fonts;
  runSettings.outlineFonts = static_cast<int>(plan.outline.size());
  mapPath_ = plan.mapPath;
  if (layout_) layout_->Prefetch(plan.fonts);
  return true;
}
