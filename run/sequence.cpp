// The master thread's run sequence, shared by both front ends: checks before
// the settings, the hand-shake with the progress thread, the batch, and the
// end sequence with its summary.
#include "run/sequence.h"

#include <chrono>
#include <thread>

#include "deffile/reader.h"
#include "deffile/runsettings.h"
#include "run/batch.h"
#include "run/cmdline.h"
#include "run/dirlock.h"
#include "run/filesys.h"
#include "run/handshake.h"
#include "tex/layout.h"
#include "ui/dialogue.h"
#include "ui/log.h"
#include "ui/settings_model.h"

namespace {

constexpr unsigned kWarningFlags = BOX_SETFOREGROUND | BOX_ICONWARNING;
constexpr unsigned kErrorFlags = BOX_SETFOREGROUND | BOX_ICONERROR;
constexpr unsigned kInformationFlags = BOX_SETFOREGROUND | BOX_ICONINFORMATION;
// How often a run that waits for another looks at the directory's lock.
constexpr int kBusyRetryMs = 100;

// Only warns: the settings apply the arguments and count what they cannot.
void WarnAboutUnknownArguments() {
  const std::string& path = runSettings.definitionPath;
  if (argCount > 1) {
    int wanted = ResolutionValue(argVector[1]);
    bool found = false;
    int resolution = 0;
    std::string modeName;
    while (NextMode(path, resolution, modeName)) {
      if (resolution == wanted) {
        runSettings.resolution = resolution;
        found = true;
        break;
      }
    }
    CloseDefinitionReader();
    if (!found)
      MessageBoxPrintf(nullptr, kProductTitle, kWarningFlags,
                       TR("第一引数で指定された解像度 %s は定義ファイル\n%s\n"
                       "に存在しません。この引数は無視します。"),
                       argVector[1].c_str(), path.c_str());
  }
  for (int i = 2; i < argCount; ++i) {
    int found = FindFontSetLabel(path, argVector[i]);
    CloseDefinitionReader();
    if (!found)
      MessageBoxPrintf(nullptr, kProductTitle, kWarningFlags,
                       TR("第%d引数で指定されたフォントセット名 %s は定義ファイル\n%s\n"
                       "に存在しません。この引数は無視します。"),
                       i, argVector[i].c_str(), path.c_str());
  }
}

void ShowMissingMfCommand() {
  MessageBoxPrintf(nullptr, kProductTitle, kErrorFlags,
                   TR("%s\nのファイルで MF のキーワードが指定されていません。\n"
                   "MF キーワードは必ず指定して下さい。\n【例】\n"
                   "    MF mf \\mode=\n    MF mf \\mode:=\n"
                   "    MF virmf &plain \\mode=\n    MF virmf &plain \\mode:=\n"
                   "等, 自分が使用している METAFONT に合わせて設定して\n下さい。"),
                   runSettings.definitionPath.c_str());
}

// The progress thread publishes progressDialog once its view exists. A view
// that cannot be made ends the thread (which raises terminateRequest) without
// ever publishing it, so the wait also ends on either of those; polling once
// a millisecond keeps the wait short without burning a core.
bool WaitForProgressView(RunFrontEnd& frontEnd) {
  for (;;) {
    if (progressDialog != 0) return true;
    if (terminateRequest != 0 || frontEnd.ProgressThreadEnded()) return progressDialog != 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

void LetProgressThreadEnd(RunFrontEnd& frontEnd) {
  masterFinished = 1;
  ConsolePrintf(LOG_INFO, "Master: Wait for exit thread");
  frontEnd.JoinProgressThread();
  ConsolePrintf(LOG_INFO, "Master: Exit Process");
}

}  // namespace

std::string FormatSummary(const std::string& startText, std::time_t endTime,
                          std::time_t start, int processed,
                          const std::string& targetDir, bool logsOnly) {
  int elapsed = static_cast<int>(endTime - start);
  int average = processed > 0 ? elapsed / processed : 0;
  ClockTime finish = LocalClock(endTime);
  // A TeX tree keeps the TFM files among its fonts: only the log folder is
  // left for the user to look after.
  const char* totals =
      logsOnly ? TR("フォント作成に要した総時間は %d時間 %d分 %d秒でした\n"
                    "トータル生成フォント数は %d なので,\n"
                    "フォント一個当たりの平均生成時間は %d 秒でした\n    %s\n"
                    "ディレクトリの下に log というディレクトリを作成\n"
                    "しました。METAFONT が出力したログファイルが格納さ\n"
                    "れていますが, 必要無ければ削除して下さい。")
               : TR("フォント作成に要した総時間は %d時間 %d分 %d秒でした\n"
                    "トータル生成フォント数は %d なので,\n"
                    "フォント一個当たりの平均生成時間は %d 秒でした\n    %s\n"
                    "ディレクトリの下に tfm と log というディレクトリを作成\n"
                    "しました。それぞれ METAFONT が出力したファイルが格納さ\n"
                    "れていますが, 必要無ければ削除して下さい。");
  return StringPrintf(TR("指定されたフォントの生成を完了しました\n    %s\n"
                      "    終了時刻: %02d:%02d:%02d\n"),
                      startText.c_str(), finish.hour, finish.minute, finish.second) +
         StringPrintf(totals, elapsed / 3600, (elapsed % 3600) / 60, (elapsed % 3600) % 60,
                      processed, average, targetDir.c_str());
}

std::string OutlineFontsText(int count) {
  if (count <= 0) return std::string();
  if (count == 1) return TR("\n1 font of the documents is drawn from an outline font; not built.");
  return StringPrintf(TR("\n%d fonts of the documents are drawn from outline fonts; not built."),
                      count);
}

std::string RunFrontEnd::SummaryText(const RunSummary& run) {
  if (!run.specifiedShown) return std::string();
  return FormatSummary(run.startText, run.endTime, run.startTime, run.processed, run.targetDir,
                       run.logsOnly);
}

RunOutcome RunSequence(RunFrontEnd& frontEnd, const std::vector<std::string>& words) {
  RunOutcome outcome;
  SetArgumentWords(words);
  const std::string savedDirectory = CurrentDirectory();
  // The settings may have moved the current directory; every way out goes
  // back to where the program started.
  auto finish = [&](int exitCode) {
    ChangeDirectory(savedDirectory);
    outcome.exitCode = exitCode;
    return outcome;
  };

  const int located = frontEnd.LocateDefinitionFile(runSettings.definitionPath);
  if (!located) return finish(1);
  if (located != kSettledWithoutDefinition) {
    if (frontEnd.WarnsOfIgnoredArguments()) WarnAboutUnknownArguments();
    if (!ReadMfCommand(runSettings.definitionPath, runSettings.mfCommand)) {
      ShowMissingMfCommand();
      return finish(1);
    }
    errorReaction = ReadErrorReaction(runSettings.definitionPath);
  }
  if (!frontEnd.ShowSettingsDialog()) return finish(1);

  execShowMode = 1;
  progressDialog = 0;
  masterFinished = 0;
  terminateRequest = 0;
  confirmStop = 1;
  if (!frontEnd.StartProgressThread()) {
    ShowBox(nullptr, TR("スレッドの作成に失敗しました"), TR_NOOP("作れない!!"), BOX_OK);
    return finish(0);
  }

  if (!WaitForProgressView(frontEnd)) {
    // Without a view the user could neither follow nor stop the run, so no
    // font is built. The thread has ended its view already: no closing
    // command, no stop notice and no summary, only the thread's end.
    ShowBox(nullptr,
            TR("進捗ダイアログを作成できませんでした。\nフォントの生成は行いません。"),
            kProductTitle, kErrorFlags);
    LetProgressThreadEnd(frontEnd);
    return finish(1);
  }
  frontEnd.BringProgressToFront();

  // Every file of the batch is named relative to the target directory; run
  // anywhere else, the fonts would land in the wrong place.
  bool inTargetDirectory = ChangeDirectory(runSettings.targetDir);
  // A second run in the same directory would overwrite this run's TFM and
  // log files before they are filed; it is refused before it touches any.
  DirLock directoryLock;
  DirLockResult locked = DirLockResult::Failed;
  bool waitEnded = false;
  if (inTargetDirectory) {
    locked = directoryLock.Acquire(CurrentDirectory());
    // A run that waits passes over, once it may go on, what the other built:
    // the jobs are looked for only after the wait.
    if (locked == DirLockResult::Busy && frontEnd.WaitForBusyDirectory(runSettings.targetDir)) {
      while (locked == DirLockResult::Busy) {
        SettleStopRequests();
        if (terminateRequest != 0) {
          waitEnded = true;
          break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(kBusyRetryMs));
        locked = directoryLock.Acquire(CurrentDirectory());
      }
    }
    if (locked == DirLockResult::Unsupported)
      ConsolePrintf(LOG_WARNING, "No lock on the target directory (%s)",
                    directoryLock.errorText().c_str());
  }
  if (locked == DirLockResult::Locked || locked == DirLockResult::Unsupported) {
    outcome.batchRan = true;
    batchRules = frontEnd.Rules();
    BatchEnd end = RunBatch(frontEnd.Progress(), frontEnd.Runner(), frontEnd.Workers());
    outcome.completed = end == BatchEnd::Completed;
  }
  directoryLock.Release();

  std::time_t endTime = std::time(nullptr);
  if (terminateRequest == 0) {
    confirmStop = 0;
    frontEnd.CloseProgressView();
  } else {
    outcome.stoppedByUser = true;
    ShowBox(nullptr, TR("Thread からの停止要求を受信しました"), kProductTitle,
            kInformationFlags);
  }
  LetProgressThreadEnd(frontEnd);
  if (!inTargetDirectory) {
    MessageBoxPrintf(nullptr, kProductTitle, kErrorFlags,
                     TR("生成先ディレクトリ\n%s\nに移動できませんでした。"
                     "フォントの生成は行いません。"),
                     runSettings.targetDir.c_str());
    return finish(1);
  }
  if (locked == DirLockResult::Busy && !waitEnded) {
    MessageBoxPrintf(nullptr, kProductTitle, kErrorFlags,
                     TR("生成先ディレクトリ\n%s\nでは他の kiln がフォントを生成中です。"
                     "終わってから再実行して下さい。"),
                     runSettings.targetDir.c_str());
    return finish(1);
  }
  if (locked == DirLockResult::Failed) {
    MessageBoxPrintf(nullptr, kProductTitle, kErrorFlags,
                     TR("生成先ディレクトリ\n%s\nにファイルを作成できません(%s)。"
                     "フォントの生成は行いません。"),
                     runSettings.targetDir.c_str(), directoryLock.errorText().c_str());
    return finish(1);
  }

  outcome.fontsProcessed = fontsProcessed;
  outcome.fontsFailed = fontsFailed;
  outcome.filingFailures = filingFailures;
  RunSummary summary;
  summary.startText = startTimeText;
  summary.startTime = startTime;
  summary.endTime = endTime;
  summary.processed = fontsProcessed;
  summary.failed = fontsFailed;
  summary.present = fontsPresent;
  summary.notTried = fontsNotTried;
  summary.failures = failedFonts;
  summary.targetDir = runSettings.targetDir;
  summary.logsOnly = !CurrentLayout().FilesTfmAside();
  summary.intoTree = !runSettings.treeRoot.empty();
  summary.outlineFonts = runSettings.outlineFonts;
  // Documents of the command line count as font-set words here too.
  summary.specifiedShown =
      argCount + static_cast<int>(documentArguments.size()) < 3 || autoExecErrors != 0;
  const std::string text = frontEnd.SummaryText(summary);
  if (!text.empty()) ShowBox(nullptr, text, kProductTitle, kInformationFlags);
  return finish(1);
}
