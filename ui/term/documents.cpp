#include "ui/term/documents.h"

#include "deffile/reader.h"
#include "deffile/runsettings.h"
#include "tex/docjobs.h"
#include "run/filesys.h"
#include "ui/term/paths.h"
#include "ui/term/term_output.h"

namespace {

void Say(const std::string& text) { Output().Print(stderr, text); }

std::string Absolute(const std::string& path) {
  std::string full = AbsolutePath(path);
  if (!full.empty() && full[0] == '/') return full;
  return CurrentDirectory() + "/" + path;
}

}  // namespace

std::string UnreadableDocumentText(const std::string& error) {
  return "kiln: " + error + "\nkiln: the run ends; no font is built\n";
}

std::string NoKpathseaText(const std::string& failure) {
  return "kiln: kpathsea cannot be asked where the fonts are: " + failure +
         "\nkiln: the run ends; no font is built\n";
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
  texmf_ = options_.texmf;
  std::string source = "--texmf";
  // The definition file's TEXMF line, unless an option chose where the
  // fonts go.
  if (texmf_.empty() && options_.targetDir.empty()) {
    int found = ReadTexmf(runSettings.definitionPath, texmf_);
    if (found < 0) {
      Say("kiln: TEXMF " + texmf_ + " in " + runSettings.definitionPath +
          ": a directory ending in a colon would make the line a font-set label; "
          "write it with a final slash\n");
      return false;
    }
    if (found == 0) texmf_.clear();
    source = "TEXMF";
  }
  if (texmf_.empty()) return true;
  std::string root = texmf_;
  const std::string variable = TexmfVariable(root);
  if (!variable.empty()) {
    root = Lookup().Variable(variable);
    if (root.empty()) {
      Say("kiln: " + source + " " + texmf_ + ": kpathsea gives no " + variable +
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
  }
  Lookup();
  kpsewhich_->SetDirectories(
      DirectoryStatus(runSettings.targetDir) == 1 ? runSettings.targetDir : std::string(),
      CurrentDirectory());
  if (!documentsGiven()) return true;
  DocumentPlan plan;
  std::string error;
  if (!PlanDocumentFonts(options_.dvi, options_.missfont,
                         static_cast<int>(runSettings.resolution), Lookup(), plan, error)) {
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
  if (layout_) layout_->Prefetch(plan.fonts);
  return true;
}
