// The master thread's run sequence, from the located definition file to the
// summary, for every front end. The front end supplies what differs: how the
// definition file is found, the settings dialog or screen, the progress
// thread and its view, and the process runner.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "run/batch.h"
#include "run/process.h"
#include "ui/progress.h"

constexpr int kSettledWithoutDefinition = 2;

// What the end sequence knows of a finished batch, for its summary.
struct RunSummary {
  std::string startText;       // "開始時刻: ..." as the batch formatted it
  std::time_t startTime = 0;
  std::time_t endTime = 0;
  int processed = 0;           // jobs begun, failed ones included
  int failed = 0;
  int present = 0;             // fonts passed over: their PK file was there
  int notTried = 0;            // jobs not begun, as the batch stopped
  std::vector<FailedFont> failures;  // the failed fonts, in the order they ended
  std::string targetDir;
  bool logsOnly = false;       // a TeX tree: only the log folder is left
  bool intoTree = false;       // the fonts went into a TeX tree
  bool specifiedShown = false; // the specified rule shows the summary
  int outlineFonts = 0;        // documents' fonts left to outline fonts
};

class RunFrontEnd {
 public:
  virtual ~RunFrontEnd() = default;
  // Fills path with the definition file; 1 = found, 0 = the program ends
  // (the user has been told why), kSettledWithoutDefinition = the front end
  // runs without one and has set runSettings.mfCommand and errorReaction
  // itself (path may still name a file whose font sets it uses).
  virtual int LocateDefinitionFile(std::string& path) = 0;
  // The settings dialog or its terminal equivalent: 1 = run, 0 = end.
  virtual int ShowSettingsDialog() = 0;
  // Starts the progress thread, which publishes progressDialog once its view
  // exists and runs ProgressThreadEpilogue when the view has ended. false:
  // the thread could not be created.
  virtual bool StartProgressThread() = 0;
  // True once the progress thread has ended (the master's wait for the view
  // watches this so that it cannot hang).
  virtual bool ProgressThreadEnded() = 0;
  virtual void BringProgressToFront() = 0;
  // The master's own Stop command to the view (confirmStop is 0 by then);
  // returns when the view has handled it.
  virtual void CloseProgressView() = 0;
  virtual void JoinProgressThread() = 0;
  virtual ProgressView& Progress() = 0;
  virtual ProcessRunner& Runner() = 0;
  // How many jobs may run at once.
  virtual int Workers() { return 1; }
  // What the batch does beyond the specified program.
  virtual BatchRules Rules() { return BatchRules(); }
  // Another run holds the target directory: true when this run is to wait
  // for it (the front end has said so once), false to refuse at once.
  virtual bool WaitForBusyDirectory(const std::string& /*directory*/) { return false; }
  // Whether an argument that the definition file does not know is warned
  // about as ignored: true where the settings can still be chosen after
  // it; a front end that then cannot go on tells all its reasons at once.
  virtual bool WarnsOfIgnoredArguments() { return true; }
  // The summary box at the end, or an empty text for none. The default is
  // the specified box, shown when the specified rule says so.
  virtual std::string SummaryText(const RunSummary& run);
};

struct RunOutcome {
  int exitCode = 1;          // the Win32 program's exit code
  bool batchRan = false;     // the batch was started
  bool completed = false;    // every chosen set was worked through
  bool stoppedByUser = false;
  int fontsProcessed = 0;
  int fontsFailed = 0;
  int filingFailures = 0;  // built fonts whose TFM or log could not be filed
};

// words: the command-line words after the program name (resolution, then
// font-set names). Runs start-up step 5 onwards and the end sequence.
RunOutcome RunSequence(RunFrontEnd& frontEnd, const std::vector<std::string>& words);

// The summary text of the end sequence.
// The summary's line on the documents' fonts drawn from outline fonts:
// empty for none (and always for font sets).
std::string OutlineFontsText(int count);
std::string FormatSummary(const std::string& startText, std::time_t endTime,
                          std::time_t start, int processed,
                          const std::string& targetDir, bool logsOnly = false);
