// The batch loop. A counting pass asks the job generator for every job of
// every chosen set, only to learn the total for the bar, the percentage and
// the estimate; the generation pass asks again and hands each job to a
// worker. Producing a job, running it (RunFontJob) and reporting on it are
// kept apart.
#include "run/batch.h"

#include <chrono>
#include <set>
#include <thread>
#include <vector>

#include "deffile/runsettings.h"
#include "run/cmdline.h"
#include "run/failed.h"
#include "run/filesys.h"
#include "run/handshake.h"
#include "run/jobgen.h"
#include "tex/layout.h"
#include "run/output.h"
#include "run/scratch.h"
#include "ui/dialogue.h"
#include "ui/log.h"

std::string commandBuffer;
int totalFonts = 0;
int fontsProcessed = 0;
int fontsFailed = 0;
int fontsPresent = 0;
int filingFailures = 0;
int fontsNotTried = 0;
std::vector<FailedFont> failedFonts;
BatchRules batchRules;
std::time_t startTime = 0;
std::string startTimeText;

// Only the master thread formats times; the fields are copied at once.
ClockTime LocalClock(std::time_t when) {
  ClockTime clock;
  if (const std::tm* local = std::localtime(&when)) {
    clock.hour = local->tm_hour;
    clock.minute = local->tm_min;
    clock.second = local->tm_sec;
  }
  return clock;
}

namespace {

JobClaims* jobClaims = nullptr;

std::string FormatStartTime(std::time_t when) {
  ClockTime clock = LocalClock(when);
  return StringPrintf(TR("開始時刻: %02d:%02d:%02d"), clock.hour, clock.minute,
                      clock.second);
}

void LogTerminateRequest() {
  ConsolePrintf(LOG_INFO, "Master: Recieve Terminate request");
}

// The check before a set or a font: a request that has arrived by now
// counts, whichever thread it reached.
bool StopRequested() {
  SettleStopRequests();
  return terminateRequest != 0;
}

// The state line of a job about to run. The counting pass may have found
// fewer jobs than the generation pass produces (PK files removed in between);
// with a total of 0 there is nothing to divide by, and every job that still
// turns up is part of "all", so it shows 100%.
std::string GeneratingStateLine(int processed, int total, const std::string& setName) {
  int percent = total > 0 ? processed * 100 / total : 100;
  return StringPrintf(TR("%d%%(%d/%d) 生成中[%s]"), percent, processed, total,
                      setName.c_str());
}

void ShowJobFailure(const FontJob& job, JobStatus status) {
  if (status == JobStatus::NoGfFile) {
    const char* name = job.fontName.c_str();
    MessageBoxPrintf(nullptr, kProductTitle, BOX_SETFOREGROUND | BOX_ICONERROR,
                     TR("%s\nコマンドで作成した\n    %s.%dgf or\n    %s.%dgf or\n"
                     "    %s.%dgf が\n見つかりませんでした。フォントの生成に失敗した\n"
                     "と思われます。"),
                     job.mfCommand.c_str(), name, job.fontResolution - 1, name,
                     job.fontResolution, name, job.fontResolution + 1);
  } else if (status == JobStatus::TruncatedPkFile) {
    MessageBoxPrintf(nullptr, kProductTitle, BOX_SETFOREGROUND | BOX_ICONERROR,
                     TR("%s\nコマンドで作成した\n%s.%dpk は\n"
                     "途中で切れていました(ディスクが一杯ではありませんか)。\n"
                     "このファイルは削除しました。"),
                     job.gftopkCommand.c_str(), job.fontName.c_str(),
                     job.fontResolution);
  } else if (status == JobStatus::NoScratchDirectory) {
    MessageBoxPrintf(nullptr, kProductTitle, BOX_SETFOREGROUND | BOX_ICONERROR,
                     TR("%s\nThe scratch directory %s could not be made in the target "
                        "directory; the font was not built."),
                     job.mfCommand.c_str(), job.workDir.c_str());
  } else {
    MessageBoxPrintf(nullptr, kProductTitle, BOX_SETFOREGROUND | BOX_ICONERROR,
                     TR("%s\nコマンドで作成した\n%s.%dpk が\n"
                     "見つかりませんでした。フォントの変換に失敗した\nと思われます。"),
                     job.gftopkCommand.c_str(), job.fontName.c_str(),
                     job.fontResolution);
  }
}

// false: the batch must end here.
bool ReportJobFailure(const FontJob& job, JobStatus status) {
  ++fontsFailed;
  if (errorReaction == 'I') return true;
  ShowJobFailure(job, status);
  return AskContinueAfterFailure() != 0;
}

// ended: the jobs finished so far, failed ones included; the bar and the
// estimate go by them.
void ReportJobDone(ProgressView& view, int ended) {
  view.SetPosition(ended);
  view.SetTimeLine(FormatTimeLine(startTimeText, std::time(nullptr), startTime, ended,
                                  totalFonts));
}

const char* const kKeptSuffix = ".kiln-old";

std::string PkName(const FontJob& job) {
  return StringPrintf("%s.%dpk", job.fontName.c_str(), job.fontResolution);
}

std::string JobKey(const std::string& fontName, int resolution) {
  return fontName + '\n' + std::to_string(resolution);
}

// Returns every job found, each font at each resolution once.
std::set<std::string> CountJobs(ProgressView& view) {
  std::set<std::string> counted;
  for (const JobSource& source : RunJobSources(runSettings)) {
    while (NextJob(runSettings, source, commandBuffer)) {
      bool first = counted.insert(JobKey(runSettings.fontName, runSettings.fontResolution)).second;
      if (!first && batchRules.countEachJobOnce) continue;
      ++totalFonts;
      view.SetCommandLine(commandBuffer);
      view.SetStateLine(StringPrintf(TR("生成するフォントを検索中 %5d"), totalFonts));
    }
  }
  ConsolePrintf(LOG_INFO, "Total font = %d", totalFonts);
  return counted;
}

}  // namespace

bool MetafontFinished(FontJob& job, JobStatus& status) {
  int found = FindGfFile(job.fontName, job.fontResolution, job.workDir);
  if (found == 0) {
    status = JobStatus::NoGfFile;
    return false;
  }
  job.fontResolution = found;
  job.gftopkCommand = StringPrintf("gftopk %s.%dgf %s.%dpk", job.fontName.c_str(),
                                   found, job.fontName.c_str(), found);
  // When a font is rebuilt, gftopk writes over the PK file that is there. The
  // old one is kept aside until the new one is known to be whole: a failed
  // rebuild (a full disk) then loses nothing, and the old file cannot pass
  // for the new one. In a scratch directory the old one is never touched
  // before the new one replaces it.
  const std::string pk = PkName(job);
  job.keptOld = job.workDir.empty() && PathExists(pk) && ReplaceFileWith(pk, pk + kKeptSuffix);
  return true;
}

JobStatus GftopkFinished(FontJob& job) {
  const std::string pk = PkName(job);
  const std::string built = InWorkDir(job.workDir, pk);
  const std::string kept = pk + kKeptSuffix;
  auto restoreOld = [&] {
    if (job.keptOld && !ReplaceFileWith(kept, pk))
      ConsolePrintf(LOG_ALERT, "%s could not be put back; it is kept as %s",
                    pk.c_str(), kept.c_str());
    job.keptOld = false;
  };
  bool present = job.workDir.empty() ? PkFileExists(job.fontName, job.fontResolution) != 0
                                     : PathExists(built);
  if (!present) {
    restoreOld();
    return JobStatus::NoPkFile;
  }
  // Left under its final name, a cut-short PK file would count as built in
  // every later run; the GF file stays, so the font can be made again.
  if (PkFileTruncated(built)) {
    ConsolePrintf(LOG_ALERT, "%s is truncated; removed", pk.c_str());
    RemoveFile(built);
    restoreOld();
    return JobStatus::TruncatedPkFile;
  }
  if (!job.workDir.empty() && !ReplaceFileWith(built, pk)) {
    const std::string why = LastErrorText();
    ConsolePrintf(LOG_ALERT, "%s cannot be moved into the target directory: %s",
                  pk.c_str(), why.c_str());
    job.failure = StringPrintf(TR("%s cannot be moved into the target directory: %s"),
                               pk.c_str(), why.c_str());
    return JobStatus::NoPkFile;
  }
  if (job.keptOld) RemoveFile(kept);
  job.keptOld = false;
  // The font is built either way; a by-product left unfiled has been
  // reported, and the run's end says that not everything went well.
  if (!CurrentLayout().FileOutputs(job.fontName, job.fontResolution, job.workDir))
    ++filingFailures;
  return JobStatus::Built;
}

JobStatus RunFontJob(FontJob& job, ProcessRunner& runner) {
  // A program that cannot be started has shown its own message; it shows up
  // here as a missing file.
  ExecProcess(runner, job.mfCommand, execShowMode, priorityClass, job.workDir,
              &job.mfOutcome);
  JobStatus status = JobStatus::Built;
  if (!MetafontFinished(job, status)) return status;
  ExecProcess(runner, job.gftopkCommand, execShowMode, priorityClass, job.workDir,
              &job.gftopkOutcome);
  return GftopkFinished(job);
}

namespace {

// The scheduler: the generation pass hands the jobs, in the generator's
// order, to up to `workers` workers. One worker runs each job to its end in
// the target directory, as the sequential program did; several run their
// programs side by side, each job in a scratch directory, and go on with
// whichever job's program ends first. The generator is asked for a job only
// when a worker is free, so that it sees the PK files of the jobs before.
class Scheduler {
 public:
  Scheduler(ProgressView& view, ProcessRunner& runner, int workers,
            std::set<std::string> counted)
      : view_(view), runner_(runner), workers_(workers < 1 ? 1 : workers),
        counted_(std::move(counted)) {}
  BatchEnd Run();

 private:
  struct Running {
    FontJob job;
    std::string key;
    long ticket = 0;
    bool converting = false;  // gftopk's turn
    long sequence = 0;        // the order the jobs were started in
    // The programs are done, but an older job of the same font is not: the
    // two share NAME.tfm and NAME.log, which are filed in the order a
    // sequential run files them, so the later job's files must come last.
    bool parked = false;
    bool convertedPending = false;  // parked after gftopk: not yet checked and filed
    JobStatus status = JobStatus::Built;
  };

  static std::string Key(const std::string& fontName, int resolution) {
    return JobKey(fontName, resolution);
  }
  void RunHere(FontJob& job);
  void Start(FontJob job, const std::string& key);
  void StartConversion(std::size_t index);
  void WaitForOne();
  void Advance(std::size_t index);
  void Finish(std::size_t index, JobStatus status, bool converted);
  bool OlderJobOfSameFont(std::size_t index) const;
  void Complete(std::size_t index);
  int Active() const;
  void End(std::size_t index, JobStatus status);
  void Reported(const FontJob& job, JobStatus status, const std::string& key,
                const std::string& filedLog);
  void WaitForFreeWorker();
  void ShowRunning();
  void ShowEnded(bool stopped);

  ProgressView& view_;
  ProcessRunner& runner_;
  const int workers_;
  int ended_ = 0;           // jobs finished, failed ones included
  long scratchCount_ = 0;  // also the jobs' start order
  bool stopping_ = false;   // a failure ended the batch: nothing new starts
  std::vector<Running> running_;
  std::set<std::string> started_;  // running or built in this batch
  const std::set<std::string> counted_;  // what the counting pass found
  std::set<std::string> begun_;          // every job begun
  std::set<std::string> filedLogs_;      // failed jobs' logs filed so far
};

void Scheduler::ShowRunning() {
  int percent = totalFonts > 0 ? ended_ * 100 / totalFonts : 100;
  std::string names;
  for (const Running& running : running_)
    if (!running.parked)
      names += StringPrintf("%s%s %d", names.empty() ? "" : ", ",
                          running.job.fontName.c_str(), running.job.fontResolution);
  view_.SetStateLine(StringPrintf(TR("%d%%(%d/%d) 生成中: %s"), percent, ended_, totalFonts,
                                  names.empty() ? "-" : names.c_str()));
}

// The last word of a batch: how far it got, and no program still named as
// running.
void Scheduler::ShowEnded(bool stopped) {
  int percent = totalFonts > 0 ? ended_ * 100 / totalFonts : 100;
  view_.SetStateLine(stopped ? StringPrintf(TR("%d%%(%d/%d) stopped; %d not tried"), percent,
                                            ended_, totalFonts, fontsNotTried)
                             : StringPrintf(TR("%d%%(%d/%d) 完了"), percent, ended_, totalFonts));
  view_.SetCommandLine(std::string());
}

// A job's end, reported as the sequential program reports it; after a
// failure that stopped the batch, later failures are shown, not asked about.
// key: the job as the generator gave it; filedLog: where its log was filed
// (a failed job under fileFailedJobs).
void Scheduler::Reported(const FontJob& job, JobStatus status, const std::string& key,
                         const std::string& filedLog) {
  ++ended_;
  if (jobClaims) jobClaims->Release(job.fontName, job.fontResolution);
  runSettings.fontResolution = job.fontResolution;
  if (!job.gftopkCommand.empty()) commandBuffer = job.gftopkCommand;
  if (status == JobStatus::Built) {
    if (batchRules.fileFailedJobs) ForgetEarlierFailure(job, filedLogs_);
    ReportJobDone(view_, ended_);
  } else {
    FailedFont failed;
    failed.fontName = job.fontName;
    failed.resolution = job.fontResolution;
    if (!filedLog.empty()) {
      failed.logPath = filedLog;
    } else if (!batchRules.fileFailedJobs) {
      // Left where METAFONT wrote it (a scratch directory's files have
      // joined the working directory by now).
      FontJob here = job;
      here.workDir.clear();
      const std::string log = FailedJobLog(here);
      if (!log.empty()) failed.logPath = CurrentDirectory() + kDirSeparator + log;
    }
    failed.reason = FailureReason(job, status, failed.logPath);
    failedFonts.push_back(std::move(failed));
    // As specified, a font named again is tried again; once its failure is
    // filed it would only fail the same way.
    if (!batchRules.fileFailedJobs) started_.erase(key);
    if (stopping_) {
      ++fontsFailed;
      if (errorReaction != 'I') ShowJobFailure(job, status);
    } else if (!ReportJobFailure(job, status)) {
      stopping_ = true;
    }
  }
}

void Scheduler::RunHere(FontJob& job) {
  std::string key = Key(job.fontName, job.fontResolution);
  JobStatus status = RunFontJob(job, runner_);
  std::string filedLog;
  if (status != JobStatus::Built && batchRules.fileFailedJobs)
    filedLog = FileFailedJob(job, filedLogs_);
  Reported(job, status, key, filedLog);
}

void Scheduler::Start(FontJob job, const std::string& key) {
  job.workDir = ScratchDirectoryName(++scratchCount_);
  if (!MakeDirectory(job.workDir)) {
    const std::string why = LastErrorText();
    ConsolePrintf(LOG_ALERT, "Scratch directory %s cannot be made: %s",
                  job.workDir.c_str(), why.c_str());
    job.failure = StringPrintf(TR("its scratch directory %s cannot be made: %s"),
                               job.workDir.c_str(), why.c_str());
    // Nothing of it was made: it may be tried again.
    started_.erase(key);
    Reported(job, JobStatus::NoScratchDirectory, key, std::string());
    return;
  }
  Running running;
  running.job = std::move(job);
  running.key = key;
  running.sequence = scratchCount_;
  running_.push_back(std::move(running));
  const FontJob& started = running_.back().job;
  ShowRunning();
  view_.SetCommandLine(started.mfCommand);
  running_.back().ticket =
      StartProcess(runner_, started.mfCommand, execShowMode, priorityClass, started.workDir,
                   &running_.back().job.mfOutcome.error);
  // A program that cannot be started has shown its own message; it shows
  // up as a missing file.
  if (running_.back().ticket == 0) Advance(running_.size() - 1);
}

void Scheduler::WaitForOne() {
  ProcessRunner::Ended ended = runner_.WaitAny();
  for (std::size_t i = 0; i < running_.size(); ++i) {
    if (running_[i].ticket != ended.ticket || ended.ticket == 0) continue;
    LogChildEnd(ended.outcome);
    FontJob& job = running_[i].job;
    (running_[i].converting ? job.gftopkOutcome : job.mfOutcome) = std::move(ended.outcome);
    Advance(i);
    return;
  }
  // No job owns it: the runner lost track of its children. Every running
  // job then ends as failed rather than waiting for ever.
  ConsolePrintf(LOG_ALERT, "No running program was found to wait for");
  while (!running_.empty()) {
    running_.back().job.failure = TR("kiln lost track of the programs that built it");
    End(running_.size() - 1, JobStatus::NoGfFile);
  }
}

void Scheduler::Advance(std::size_t index) {
  Running& running = running_[index];
  if (!running.converting) {
    JobStatus status = JobStatus::Built;
    if (!MetafontFinished(running.job, status)) return Finish(index, status, false);
    running.converting = true;
    running.ticket = StartProcess(runner_, running.job.gftopkCommand, execShowMode,
                                  priorityClass, running.job.workDir,
                                  &running.job.gftopkOutcome.error);
    if (running.ticket != 0) return;
  }
  Finish(index, JobStatus::Built, true);
}

bool Scheduler::OlderJobOfSameFont(std::size_t index) const {
  for (const Running& other : running_)
    if (other.sequence < running_[index].sequence &&
        other.job.fontName == running_[index].job.fontName)
      return true;
  return false;
}

int Scheduler::Active() const {
  int active = 0;
  for (const Running& running : running_) active += running.parked ? 0 : 1;
  return active;
}

// A job whose programs are done. converted: gftopk ran, and its PK file is
// still to be checked and the job filed.
void Scheduler::Finish(std::size_t index, JobStatus status, bool converted) {
  Running& running = running_[index];
  running.status = status;
  running.convertedPending = converted;
  running.ticket = 0;
  if (OlderJobOfSameFont(index)) {
    running.parked = true;
    ShowRunning();
    return;
  }
  Complete(index);
  // Parked jobs whose older jobs of the same font have all been filed now
  // follow, oldest first.
  for (;;) {
    std::size_t next = running_.size();
    for (std::size_t i = 0; i < running_.size(); ++i)
      if (running_[i].parked && !OlderJobOfSameFont(i) &&
          (next == running_.size() || running_[i].sequence < running_[next].sequence))
        next = i;
    if (next == running_.size()) break;
    Complete(next);
  }
}

void Scheduler::Complete(std::size_t index) {
  Running& running = running_[index];
  JobStatus status = running.convertedPending ? GftopkFinished(running.job) : running.status;
  End(index, status);
}

void Scheduler::End(std::size_t index, JobStatus status) {
  FontJob job = std::move(running_[index].job);
  const std::string key = running_[index].key;
  running_.erase(running_.begin() + static_cast<std::ptrdiff_t>(index));
  const bool failed = status != JobStatus::Built;
  std::string filedLog;
  if (failed && batchRules.fileFailedJobs) filedLog = FileFailedJob(job, filedLogs_);
  ClearScratchDirectory(job.workDir, failed && !batchRules.fileFailedJobs);
  runner_.JobEnded(job.workDir);
  Reported(job, status, key, filedLog);
  runner_.ForgetDirectory(job.workDir);
  ShowRunning();
}

void Scheduler::WaitForFreeWorker() {
  // A stop question that is open holds new starts; the running jobs go on.
  SettleStopRequests();
  while (Active() > 0 && (Active() >= workers_ || holdNewJobs)) {
    WaitForOne();
    SettleStopRequests();
  }
  while (holdNewJobs && !terminateRequest) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    SettleStopRequests();
  }
}

BatchEnd Scheduler::Run() {
  bool interrupted = false;
  for (const JobSource& source : RunJobSources(runSettings)) {
    if (stopping_) break;
    if (StopRequested()) {
      LogTerminateRequest();
      interrupted = true;
      break;
    }
    for (;;) {
      if (workers_ > 1) WaitForFreeWorker();
      if (stopping_ || !NextJob(runSettings, source, commandBuffer)) break;
      // A question asked while the generator looked holds this job too.
      if (workers_ > 1) {
        SettleStopRequests();
        if (holdNewJobs) WaitForFreeWorker();
      }
      if (StopRequested()) {
        // The job just produced is dropped; a following set logs once more.
        LogTerminateRequest();
        interrupted = true;
        break;
      }
      // One font at one resolution is built once, however many sets or
      // lines name it (with overwrite on, or while the first still runs).
      std::string key = Key(runSettings.fontName, runSettings.fontResolution);
      if (!started_.insert(key).second) {
        ConsolePrintf(LOG_INFO, "%s at %d is built once in this batch",
                      runSettings.fontName.c_str(), runSettings.fontResolution);
        continue;
      }
      if (jobClaims && !jobClaims->Claim(runSettings.fontName, runSettings.fontResolution)) {
        ConsolePrintf(LOG_INFO, "%s at %d is being built by another kiln",
                      runSettings.fontName.c_str(), runSettings.fontResolution);
        started_.erase(key);
        continue;
      }
      ++fontsProcessed;
      begun_.insert(key);
      FontJob job;
      job.fontName = runSettings.fontName;
      job.fontResolution = runSettings.fontResolution;
      job.mfCommand = commandBuffer;
      if (workers_ == 1) {
        view_.SetStateLine(GeneratingStateLine(fontsProcessed, totalFonts, source.label));
        view_.SetCommandLine(commandBuffer);
        RunHere(job);
      } else {
        Start(std::move(job), key);
      }
    }
  }
  // Whatever ended the batch, the running jobs are finished and filed.
  // (A parked job always waits for an active one, which files it.)
  while (Active() > 0) WaitForOne();
  for (const std::string& key : counted_) fontsNotTried += begun_.count(key) ? 0 : 1;
  if (batchRules.countEachJobOnce ? fontsProcessed > 0 : workers_ > 1 && scratchCount_ > 0)
    ShowEnded(stopping_ || interrupted);
  if (stopping_) return BatchEnd::StoppedOnFailure;
  return interrupted ? BatchEnd::Interrupted : BatchEnd::Completed;
}

}  // namespace

BatchEnd RunBatch(ProgressView& view, ProcessRunner& runner, int workers) {
  // The layout's closing work (the tree's ls-R) is done however the batch
  // ends: a stop or a failure leaves built fonts that must be found.
  struct LayoutFinish {
    ~LayoutFinish() { CurrentLayout().Finish(); }
  } layoutFinish;
  totalFonts = 0;
  fontsProcessed = 0;
  fontsFailed = 0;
  fontsPresent = 0;
  filingFailures = 0;
  fontsNotTried = 0;
  failedFonts.clear();
  ForgetPresentFonts();
  std::set<std::string> counted = CountJobs(view);
  // The building pass would count a font of two sets, built by the first,
  // as present for the second.
  fontsPresent = PresentFontCount();

  if (totalFonts == 0 && batchRules.countEachJobOnce)
    view.SetStateLine(TR("There was nothing to build"));
  view.SetRange(totalFonts);
  CurrentLayout().Prepare();
  // The caller holds the directory's lock: no other run is alive here.
  RemoveLeftoverScratchDirectories();
  startTime = std::time(nullptr);
  startTimeText = FormatStartTime(startTime);
  return Scheduler(view, runner, workers, std::move(counted)).Run();
}

void SetJobClaims(JobClaims* claims) { jobClaims = claims; }

int AskContinueAfterFailure() {
  if (errorReaction == 'S') return 0;
  // The loop never asks under 'I'; answering for it keeps the rule whole.
  if (errorReaction == 'I') return 1;
  int answer = ShowBox(nullptr,
                       TR("フォントの生成に失敗しました。処理を継続する場合はOKを, "
                       "処理を停止する場合にはキャンセルを押して下さい。"),
                       kProductTitle, BOX_OKCANCEL | BOX_ICONERROR | BOX_SETFOREGROUND);
  return answer == ANSWER_CANCEL ? 0 : 1;
}

std::string FormatTimeLine(const std::string& startText, std::time_t now,
                           std::time_t start, int processed, int total) {
  int elapsed = static_cast<int>(now - start);
  int remaining = 0;
  // More jobs than counted (PK files removed between the passes) would give
  // a negative estimate; the run is then as good as done.
  if (processed > 0 && total > processed)
    remaining = static_cast<int>(static_cast<double>(elapsed) / processed *
                                 (total - processed));
  std::time_t finish = now + remaining;
  ClockTime current = LocalClock(now);
  ClockTime end = LocalClock(finish);
  return StringPrintf(TR("%s, 現在時刻: %02d:%02d:%02d, 終了予測時刻: %02d:%02d:%02d(残り%d秒)"),
                      startText.c_str(), current.hour, current.minute,
                      current.second, end.hour, end.minute, end.second, remaining);
}
