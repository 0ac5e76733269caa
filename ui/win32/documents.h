// What the definition file's JOBS and TEXMF lines and the DVI files of the
// command line add to a run of the Windows program: how many fonts are built
// at once, the TeX tree the fonts go into, and the jobs of the documents'
// fonts, found through the kpsewhich.exe beside the METAFONT program. Every
// refusal is one message box, before any font is built.
#pragma once

#include <memory>
#include <string>

#include "tex/layout.h"
#include "tex/texlookup.h"
#include "tex/texlookup_win32.h"

class DocumentSetup {
 public:
  ~DocumentSetup();  // the flat layout again

  // Before the settings (the MF command is known): JOBS and TEXMF. false:
  // the run ends (the user has been told).
  bool BeforeSettings();
  // After the settings: the chosen documents' fonts into
  // runSettings.documentFonts, the tree's layout in place. false: the run
  // ends (told).
  bool AfterSettings();
  int workers() const { return workers_; }
  // The definition file has a JOBS line (valid or not).
  bool jobsGiven() const { return jobsGiven_; }

 private:
  // The lookup through kpsewhich.exe; null when there is none.
  CachedTexLookup* Lookup();
  // Where the lookups run, once the target directory is chosen.
  void AimLookup();

  int workers_ = 1;
  bool jobsGiven_ = false;
  // kiln.exe's folder at its start: the settings dialog's directory list
  // moves the current directory.
  std::string startDirectory_;
  bool lookupTried_ = false;
  std::string kpsewhich_;
  std::unique_ptr<KpsewhichLookup> kpsewhichLookup_;
  std::unique_ptr<CachedTexLookup> lookup_;
  std::unique_ptr<TreeLayout> layout_;
};
