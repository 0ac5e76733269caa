// What --texmf, --dvi and --missfont add to a run of the terminal program:
// kpathsea's lookups (kpsewhich, many names per process), the TeX tree that
// the fonts go into, and the jobs of the documents' fonts. Shared by the run
// and the dry run.
#pragma once

#include <memory>
#include <string>

#include "tex/layout.h"
#include "tex/texlookup.h"
#include "tex/texlookup_posix.h"
#include "ui/term/options.h"

class DocumentRun {
 public:
  explicit DocumentRun(const TermOptions& options) : options_(options) {}
  ~DocumentRun();  // the flat layout again

  bool documentsGiven() const { return !options_.dvi.empty() || !options_.missfont.empty(); }

  // Before the settings (the MF command is known): the tree of --texmf
  // (or of the definition file's TEXMF line when neither --texmf nor
  // --target-dir is given),
  // recorded in runSettings.treeRoot; with create, it and its work folder
  // are made when missing. false: the run ends (the user has been told).
  bool ChooseTree(bool create);
  // After the settings: the documents' fonts into
  // runSettings.documentFonts, fonts without source listed, the tree's
  // layout in place. false: the run ends (told).
  bool PlanJobs();

 private:
  CachedTexLookup& Lookup();

  const TermOptions& options_;
  std::string texmf_;  // --texmf, or the definition file's TEXMF
  std::unique_ptr<KpsewhichLookup> kpsewhich_;
  std::unique_ptr<CachedTexLookup> lookup_;
  std::unique_ptr<TreeLayout> layout_;
};

// The message for a file of --dvi, --missfont or a VF that cannot be read.
std::string UnreadableDocumentText(const std::string& error);
// kpsewhich could not be run (failure says why).
std::string NoKpathseaText(const std::string& failure);
// The list of fonts that are not built for want of a METAFONT source.
std::string WithoutSourceText(const std::vector<std::string>& names);
