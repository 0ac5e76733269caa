// The batch loop. A counting pass asks the job generator for every job of
// every chosen set, only to learn the total for the bar, the percentage and
// the estimate; the generation pass asks again and runs each job. Producing a
// job, running it (RunFontJob) and reporting on it are kept apart.
#include "run/batch.h"

#include "deffile/runsettings.h"
#include "run/cmdline.h"
#include "run/filesys.h"
#include "run/handshake.h"
#include "run/jobgen.h"
#include "run/layout.h"
#include "run/output.h"
#include "ui/dialogue.h"
#include "ui/log.h"

std::string commandBuffer;
int totalFonts = 0;
int fontsProcessed = 0;
int fontsFailed = 0;
int filingFailures = 0;
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

std::string FormatStartTime(std::time_t when) {
  ClockTime clock = LocalClock(when);
  return StringPrintf(TR("開始時刻: %02d:%02d:%02d"), clock.hour, clock.minute,
                      clock.second);
}

void LogTerminateRequest() {
  ConsolePrintf(LOG_INFO, "Master: Recieve Terminate request");
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

void ReportJobDone(ProgressView& view) {
  view.SetPosition(fontsProcessed);
  view.SetTimeLine(FormatTimeLine(startTimeText, std::time(nullptr), startTime,
                                  fontsProcessed, totalFonts));
}

void CountJobs(ProgressView& view) {
  for (const JobSource& source : RunJobSources(runSettings)) {
    while (NextJob(runSettings, source, commandBuffer)) {
      ++totalFonts;
      view.SetCommandLine(commandBuffer);
      view.SetStateLine(StringPrintf(TR("生成するフォントを検索中 %5d"), totalFonts));
    }
  }
  ConsolePrintf(LOG_INFO, "Total font = %d", totalFonts);
}

}  // namespace

JobStatus RunFontJob(FontJob& job, ProcessRunner& runner) {
  // A program that cannot be started has shown its own message; it shows up
  // here as a missing file.
  ExecProcess(runner, job.mfCommand, execShowMode, priorityClass);
  int found = FindGfFile(job.fontName, job.fontResolution);
  if (found == 0) return JobStatus::NoGfFile;
  job.fontResolution = found;
  job.gftopkCommand = StringPrintf("gftopk %s.%dgf %s.%dpk", job.fontName.c_str(),
                                   found, job.fontName.c_str(), found);
  const std::string pk =
      StringPrintf("%s.%dpk", job.fontName.c_str(), job.fontResolution);
  // When a font is rebuilt, gftopk writes over the PK file that is there. The
  // old one is kept aside until the new one is known to be whole: a failed
  // rebuild (a full disk) then loses nothing, and the old file cannot pass
  // for the new one.
  const std::string kept = pk + ".kiln-old";
  const bool keptOld = PathExists(pk) && ReplaceFileWith(pk, kept);
  auto restoreOld = [&] {
    if (keptOld && !ReplaceFileWith(kept, pk))
      ConsolePrintf(LOG_ALERT, "%s could not be put back; it is kept as %s",
                    pk.c_str(), kept.c_str());
  };
  ExecProcess(runner, job.gftopkCommand, execShowMode, priorityClass);
  if (!PkFileExists(job.fontName, job.fontResolution)) {
    restoreOld();
    return JobStatus::NoPkFile;
  }
  // Left under its final name, a cut-short PK file would count as built in
  // every later run; the GF file stays, so the font can be made again.
  if (PkFileTruncated(pk)) {
    ConsolePrintf(LOG_ALERT, "%s is truncated; removed", pk.c_str());
    RemoveFile(pk);
    restoreOld();
    return JobStatus::TruncatedPkFile;
  }
  if (keptOld) RemoveFile(kept);
  // The font is built either way; a by-product left unfiled has been
  // reported, and the run's end says that not everything went well.
  if (!CurrentLayout().FileOutputs(job.fontName, job.fontResolution)) ++filingFailures;
  return JobStatus::Built;
}

BatchEnd RunBatch(ProgressView& view, ProcessRunner& runner) {
  // The layout's closing work (the tree's ls-R) is done however the batch
  // ends: a stop or a failure leaves built fonts that must be found.
  struct LayoutFinish {
    ~LayoutFinish() { CurrentLayout().Finish(); }
  } layoutFinish;
  totalFonts = 0;
  fontsProcessed = 0;
  fontsFailed = 0;
  filingFailures = 0;
  CountJobs(view);

  view.SetRange(totalFonts);
  CurrentLayout().Prepare();
  startTime = std::time(nullptr);
  startTimeText = FormatStartTime(startTime);

  bool interrupted = false;
  for (const JobSource& source : RunJobSources(runSettings)) {
    if (terminateRequest) {
      LogTerminateRequest();
      return BatchEnd::Interrupted;
    }
    while (NextJob(runSettings, source, commandBuffer)) {
      if (terminateRequest) {
        // The job just produced is dropped; a following set logs once more.
        LogTerminateRequest();
        interrupted = true;
        break;
      }
      ++fontsProcessed;
      view.SetStateLine(GeneratingStateLine(fontsProcessed, totalFonts, source.label));
      view.SetCommandLine(commandBuffer);

      FontJob job;
      job.fontName = runSettings.fontName;
      job.fontResolution = runSettings.fontResolution;
      job.mfCommand = commandBuffer;
      JobStatus status = RunFontJob(job, runner);
      runSettings.fontResolution = job.fontResolution;
      if (!job.gftopkCommand.empty()) commandBuffer = job.gftopkCommand;

      if (status != JobStatus::Built) {
        if (!ReportJobFailure(job, status)) return BatchEnd::StoppedOnFailure;
        continue;
      }
      ReportJobDone(view);
    }
  }
  return interrupted ? BatchEnd::Interrupted : BatchEnd::Completed;
}

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
