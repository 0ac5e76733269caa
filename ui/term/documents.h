// What --texmf, --dvi and --missfont add to a run of the terminal program:
// kpathsea's lookups (kpsewhich, many names per process), the TeX tree that
// the fonts go into, and the jobs of the documents' fonts. Shared by the run
// and the dry run.
#pragma once

#include <memory>
#include <set>
#include <string>

#include "install/keystore.h"
#include "tex/docjobs.h"
#include "tex/driver.h"
#include "tex/layout.h"
#include "tex/texlookup.h"
#include "tex/texlookup_posix.h"
#include "ui/term/options.h"

class DocumentRun {
 public:
  explicit DocumentRun(const TermOptions& options);
  ~DocumentRun();  // the flat layout again

  bool documentsGiven() const { return !options_.dvi.empty() || !options_.missfont.empty(); }

  // First of all, for documents: whether the run needs the definition file.
  // -1: not a document run, or font sets are named: the definition file is
  // located as always. 1: path is the definition file (given, or recorded)
  // with a mode line at RESOLUTION, which chooses the mode as always.
  // kSettledWithoutDefinition: the driver's settings, refined by the
  // definition file's MF, ERROR_REACTION and FORCE lines when there is one
  // (path then names it, else is empty); runSettings.mfCommand and
  // errorReaction are set. 0: the run ends (told).
  int Locate(KeyStore& keys, std::string& path);
  bool fromDriver() const { return fromDriver_; }
  // Documents go on after a failed font unless the user asked otherwise
  // (--reaction, or an ERROR_REACTION line of the definition file in
  // use): errorReaction becomes 'I' then, before the settings apply the
  // options. Font-set runs keep the file's reaction as specified.
  void DefaultReaction();
  // False when errorReaction is the documents' default, not the user's.
  bool reactionChosen() const { return !reactionDefaulted_; }
  // The settings of a run from the driver's settings (the terminal's
  // options applied as the settings screen would): 1 = run, 0 = end.
  // A listing (listing) asks no question: the priority is left alone.
  int SettleFromDriver(bool listing);
  // The settings line: mode, resolutions and tree, each with its source.
  void SaySettings();
  // The resolution or resolutions the driver renders at.
  const std::vector<int>& renderDpis() const { return renderDpis_; }
  Driver driver() const { return driver_; }

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
  // The map that PlanJobs read (empty: none).
  const std::string& mapPath() const { return mapPath_; }
  // PlanJobs passed over a damaged DVI file of a folder: the run is to end
  // with exit status 1, the other documents' fonts built.
  bool passedOver() const { return passedOver_; }

 private:
  CachedTexLookup& Lookup();
  // The driver's own mode and resolution, read through kpsewhich.
  DriverDefaults AskDriver();
  // Every file of --dvi, a folder standing for its .dvi files (those are
  // also put in fromFolders); false (told) when a folder cannot be read or
  // holds none.
  bool DviFiles(std::vector<std::string>& files, std::set<std::string>& fromFolders);

  const TermOptions& options_;
  Driver driver_ = Driver::Dvips;
  bool fromDriver_ = false;
  bool reactionDefaulted_ = false;
  bool passedOver_ = false;
  std::vector<int> renderDpis_;
  std::string renderFrom_;
  std::string modeFrom_;
  std::string treeFrom_;
  std::unique_ptr<KpsewhichLookup> kpsewhich_;
  std::unique_ptr<CachedTexLookup> lookup_;
  std::unique_ptr<TreeLayout> layout_;
  std::string mapPath_;
};

// The font map that options choose for the documents' driver: --map, else
// the driver's own (optional: without it, bitmaps for every font).
FontMapChoice MapChoiceFor(const TermOptions& options, Driver driver = Driver::Dvips);
// The line that counts the fonts drawn from outline fonts of map; empty for none.
std::string OutlineListText(int count, const std::string& map);

// The message for a file of --dvi, --missfont or a VF that cannot be read.
std::string UnreadableDocumentText(const std::string& error);
// The METAFONT command of a run without a definition file: the mf beside
// kpsewhich (as found on PATH), "mf" when that is the one PATH gives.
std::string MfCommandBesideKpsewhich();
// The .dvi files directly in folder, sorted; false with error when it
// cannot be read.
bool DviFilesIn(const std::string& folder, std::vector<std::string>& files,
                std::string& error);
// kpsewhich could not be run (failure says why).
std::string NoKpathseaText(const std::string& failure);
// The list of fonts that are not built for want of a METAFONT source.
std::string WithoutSourceText(const std::vector<std::string>& names);
