// The batch loop: a counting pass and a generation pass over the chosen
// font sets, with the progress arithmetic.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "run/process.h"
#include "ui/progress.h"

extern std::string commandBuffer;  // the current job's command line
extern int totalFonts;
extern int fontsProcessed;         // jobs begun, failed ones included
extern int fontsFailed;            // jobs that ended in a failure (M1, M2, ...)
extern int fontsPresent;           // fonts passed over: their PK file was there
extern int filingFailures;         // built fonts whose TFM or log stayed unfiled
// Jobs the counting pass found that the batch never began, because it
// stopped (a failure under 'S', Cancel, a stop request). With fontsPresent
// and the jobs begun, each font at each resolution counted once, it makes
// up every job of the run.
extern int fontsNotTried;

// A font of the batch that could not be built, for every front end's
// report of it.
struct FailedFont {
  std::string fontName;
  int resolution = 0;   // the resolution asked for, or that of the GF file found
  // One line: METAFONT's first error line ("! I can't find file `c-cmr'."),
  // gftopk's message, or what was missing ("no PK file was written").
  std::string reason;
  // The font's log: where it was filed, or (not filed) where METAFONT left
  // it; a full path, empty when METAFONT left none.
  std::string logPath;
};
// This batch's failed fonts in the order they ended (fontsFailed of them).
extern std::vector<FailedFont> failedFonts;

// What the batch does beyond the specified program, whose rules (every
// field false) the Windows program keeps without a JOBS line.
struct BatchRules {
  // A failed job's log is filed into the layout's log folder as
  // NAME.DPI.log (METAFONT's mfput.log too; never over one this batch
  // filed, a number is added instead) and its GF and TFM files are
  // removed, so that no stray file is left; a font that failed is not tried
  // again in the same batch. As specified, a failed job's files stay as
  // METAFONT and gftopk left them.
  bool fileFailedJobs = false;
  // The counting pass counts each font at each resolution once, so that the
  // bar ends full when every job was worked through; a batch with nothing to
  // build says so in the state line, and the last state line says how the
  // batch ended whatever the number of workers.
  bool countEachJobOnce = false;
};
extern BatchRules batchRules;
extern std::time_t startTime;
extern std::string startTimeText;  // "開始時刻: %02d:%02d:%02d"

// How the generation pass ended.
enum class BatchEnd {
  Completed,         // every chosen set was worked through
  StoppedOnFailure,  // a failed font under 'S', or Cancel in the failure prompt
  Interrupted,       // terminateRequest was seen at one of the two checks
};

// Runs in the current directory (the target directory) with up to workers
// jobs at once. Returns when every set is done, a failure stopped it, or
// terminateRequest was seen; running jobs are finished and filed first.
BatchEnd RunBatch(ProgressView& view, ProcessRunner& runner, int workers = 1);

// One font, from METAFONT to the filed by-products. Kept apart from the loop
// (which produces the jobs and reports on them), which hands jobs to its
// workers.
struct FontJob {
  std::string fontName;
  int fontResolution = 0;     // expected; replaced by the GF file's resolution
  std::string mfCommand;      // the METAFONT command line
  std::string gftopkCommand;  // set once the GF file has been found
  // Where the programs run: empty for the target directory itself, else a
  // scratch directory in it, from which the results are moved into place.
  std::string workDir;
  bool keptOld = false;       // the old PK file waits under its aside name
  // How METAFONT and gftopk ended (their output, where the runner keeps
  // it), and a failure's own reason where neither tells it.
  ChildOutcome mfOutcome;
  ChildOutcome gftopkOutcome;
  std::string failure;
};
enum class JobStatus {
  Built,
  NoGfFile,
  NoPkFile,
  TruncatedPkFile,  // gftopk left a PK file cut short (a full disk); removed
  NoScratchDirectory,  // the job's scratch directory could not be made
};
JobStatus RunFontJob(FontJob& job, ProcessRunner& runner);
// RunFontJob's two halves around gftopk, for the scheduler, which runs the
// programs itself. MetafontFinished: true when gftopk is to run (its command
// is set), else status says why the job failed.
bool MetafontFinished(FontJob& job, JobStatus& status);
JobStatus GftopkFinished(FontJob& job);

// Fonts that other programs may be building at the same moment (several
// on-demand requests into one tree). A job runs only once its font is
// claimed; a font claimed elsewhere is passed over, the other program
// builds it. None by default: every job runs.
class JobClaims {
 public:
  virtual ~JobClaims() = default;
  // true: this run builds the font; false: it is passed over.
  virtual bool Claim(const std::string& fontName, int resolution) = 0;
  // The job of a claimed font has ended, built or not.
  virtual void Release(const std::string& fontName, int resolution) = 0;
};
void SetJobClaims(JobClaims* claims);  // not owned; nullptr for none

// 1 = go on, 0 = stop; honours errorReaction.
int AskContinueAfterFailure();

// The local hour, minute and second of a calendar time.
struct ClockTime {
  int hour = 0;
  int minute = 0;
  int second = 0;
};
ClockTime LocalClock(std::time_t when);

// "%s, 現在時刻: ..., 終了予測時刻: ...(残り%d秒)" for a job that ended at now.
std::string FormatTimeLine(const std::string& startText, std::time_t now,
                           std::time_t start, int processed, int total);
