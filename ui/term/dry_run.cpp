#include "ui/term/dry_run.h"

#include <cstdio>
#include <stdexcept>

#include "deffile/runsettings.h"
#include "install/locate.h"
#include "run/filesys.h"
#include "run/jobgen.h"
#include "run/sequence.h"
#include "ui/settings_model.h"
#include "ui/term/documents.h"
#include "ui/term/settings_screen.h"
#include "ui/log.h"
#include "ui/term/paths.h"
#include "ui/term/term_output.h"

namespace {

// Every part of a front end that a listing never reaches.
class NeverRunner : public ProcessRunner {
 public:
  ChildOutcome RunAndWait(const std::string&, const std::string&, int, int,
                          const std::function<void(const ChildProcess&)>&) override {
    throw std::logic_error(NOTR("a dry run starts no program"));
  }
};

// Rides the run sequence (so the checks, warnings and messages are the
// run's own) and lists the jobs where the settings would end; it then ends
// the sequence as a left settings dialog would.
class DryRunFrontEnd : public RunFrontEnd {
 public:
  DryRunFrontEnd(const TermOptions& options, KeyStore& keys)
      : options_(options), keys_(keys), documents_(options) {}
  // Listed, and no document passed over.
  bool listed() const { return listed_ && !documents_.passedOver(); }

  int LocateDefinitionFile(std::string& path) override {
    int documents = documents_.Locate(keys_, path);
    if (documents >= 0) return documents;
    int given = DefinitionFromOptions(options_, path);
    if (given >= 0) return given;
    // No install prompt: a listing never asks.
    return ReadDefinitionFilePath(keys_, path);
  }

  int ShowSettingsDialog() override {
    if (!documents_.ChooseTree(false)) return 0;
    if (documents_.fromDriver()) {
      if (!documents_.SettleFromDriver(true)) return 0;
      documents_.SaySettings();
      if (!documents_.PlanJobs()) return 0;
      List();
      return 0;
    }
    SettingsModel model;
    if (InitSettingsModel(model, nullptr) != InitResult::Ready) return 0;
    model.targetDir = AbsolutePath(model.targetDir);
    std::string error;
    if (!PresetSettings(model, options_, false, error)) {
      Output().Print(stderr, "kiln: " + error + "\n");
      return 0;
    }
    // The priority is no concern of a listing, and its question would be.
    model.priorityPosition = 2;
    if (ApplySettings(model, nullptr) != ApplyResult::Run) return 0;
    documents_.SaySettings();
    if (!documents_.PlanJobs()) return 0;
    Output().Print(stderr, OutlineListText(runSettings.outlineFonts, documents_.mapPath()));
    List();
    return 0;
  }

  bool StartProgressThread() override { return false; }
  bool ProgressThreadEnded() override { return true; }
  void BringProgressToFront() override {}
  void CloseProgressView() override {}
  void JoinProgressThread() override {}
  ProgressView& Progress() override { return view_; }
  ProcessRunner& Runner() override { return runner_; }

 private:
  void List() {
    const std::string saved = CurrentDirectory();
    // The PK files that exist are looked for in the target directory (a
    // tree is looked at by its full paths, and may not exist yet).
    if (runSettings.treeRoot.empty() && !ChangeDirectory(runSettings.targetDir)) {
      Output().Print(stderr, StringPrintf(TR("kiln: cannot enter the target directory %s: %s\n"),
                                          runSettings.targetDir.c_str(),
                                          LastErrorText().c_str()));
      return;
    }
    std::string command;
    int jobs = 0;
    ForgetPresentFonts();
    for (const JobSource& source : RunJobSources(runSettings)) {
      while (NextJob(runSettings, source, command)) {
        std::printf("%s\t%d\t%s\n", runSettings.fontName.c_str(),
                    runSettings.fontResolution, command.c_str());
        ++jobs;
      }
    }
    std::fflush(stdout);
    // An empty list on standard output, which is for the jobs alone, would
    // look like a failure to list them.
    if (jobs == 0)
      Output().Print(stderr,
                     StringPrintf(TR("kiln: nothing to build (fonts there already: %d, drawn "
                                     "from outline fonts: %d)\n"),
                                  PresentFontCount(), runSettings.outlineFonts));
    ChangeDirectory(saved);
    listed_ = true;
  }

  const TermOptions& options_;
  KeyStore& keys_;
  DocumentRun documents_;
  NeverRunner runner_;
  NoProgressView view_;
  bool listed_ = false;
};

}  // namespace

int RunDryRun(const TermOptions& options, KeyStore& keys) {
  DryRunFrontEnd frontEnd(options, keys);
  RunSequence(frontEnd, options.words);
  return frontEnd.listed() ? 0 : 1;
}
