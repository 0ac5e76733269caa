#include "ui/term/documents.h"

#include "deffile/runsettings.h"
#include "tex/docjobs.h"
#include "run/filesys.h"
#include "ui/log.h"
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
  return StringPrintf(TR("kiln: %s\nkiln: the run ends; no font is built\n"), error.c_str());
}

std::string NoKpathseaText(const std::string& failure) {
  return StringPrintf(TR("kiln: kpathsea cannot be asked where the fonts are: %s\n"
                         "kiln: the run ends; no font is built\n"),
                      failure.c_str());
}

std::string WithoutSourceText(const std::vector<std::string>& names) {
  std::string text =
      names.size() == 1
          ? std::string(TR("kiln: no METAFONT source found for 1 font; not built:"))
          : StringPrintf(TR("kiln: no METAFONT source found for %zu fonts; not built:"),
                         names.size());
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
      Say(StringPrintf(TR("kiln: --texmf %s: kpathsea gives no %s"), options_.texmf.c_str(),
                       variable.c_str()) +
          (kpsewhich_->failure().empty() ? std::string()
                                         : " (" + kpsewhich_->failure() + ")") +
          "\n");
      return false;
    }
  }
  if (create) {
    const std::string work = Absolute(root) + "/" + kTreeWorkDir;
    if (!MakeDirectories(work)) {
      Say(StringPrintf(TR("kiln: the TeX tree %s cannot be used: %s: %s\n"), root.c_str(),
                       work.c_str(), LastErrorText().c_str()));
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
      Say(StringPrintf(TR("kiln: the mode name \"%s\" cannot be a folder of a TeX tree\n"),
                       runSettings.modeName.c_str()));
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
