#include "ui/term/summary.h"

#include "run/batch.h"
#include "ui/log.h"
#include "ui/text.h"

namespace {

// A long list of failures would push the counts off the screen; the rest
// are in the log folder.
constexpr std::size_t kFailuresListed = 20;

// English plural: the one form for 1, the other for every other count.
const char* Plural(int count, const char* one, const char* other) {
  return count == 1 ? one : other;
}

std::string Heading(const RunSummary& run) {
  const int built = run.processed - run.failed;
  const ClockTime finish = LocalClock(run.endTime);
  if (run.processed > 0 && run.failed == 0 && run.notTried == 0)
    return StringPrintf(TR("指定されたフォントの生成を完了しました\n    %s\n"
                           "    終了時刻: %02d:%02d:%02d\n"),
                        run.startText.c_str(), finish.hour, finish.minute, finish.second);
  const char* heading =
      run.failed == 0 && run.notTried > 0 ? TR("The run stopped before every chosen font was built\n")
      : run.processed == 0                ? TR("There was nothing to build\n")
      : built == 0                        ? TR("None of the chosen fonts could be built\n")
                                          : TR("Not every chosen font could be built\n");
  return heading + StringPrintf(TR("    %s\n    Finished: %02d:%02d:%02d\n"),
                                run.startText.c_str(), finish.hour, finish.minute,
                                finish.second);
}

std::string Counts(const RunSummary& run) {
  std::string text;
  if (run.failed > 0 || run.notTried > 0)
    text += StringPrintf(TR("Fonts built: %d, failed: %d.\n"), run.processed - run.failed,
                         run.failed);
  if (run.present > 0 || run.processed == 0)
    text += StringPrintf(TR("Fonts that were there already (not built again): %d.\n"),
                         run.present);
  if (run.notTried > 0)
    text += StringPrintf(TR("Fonts not tried, as the run stopped: %d.\n"), run.notTried);
  return text;
}

// Each failed font with its reason and the log to read.
std::string Failures(const RunSummary& run) {
  if (run.failures.empty()) return std::string();
  std::string text = TR("Failed fonts:\n");
  for (std::size_t i = 0; i < run.failures.size() && i < kFailuresListed; ++i) {
    const FailedFont& font = run.failures[i];
    text += StringPrintf(TR("    %s at %d dpi: %s\n"), font.fontName.c_str(), font.resolution,
                         font.reason.c_str());
    if (!font.logPath.empty()) text += StringPrintf(TR("        log: %s\n"), font.logPath.c_str());
  }
  if (run.failures.size() > kFailuresListed)
    text += StringPrintf(TR("    and %d more.\n"),
                         static_cast<int>(run.failures.size() - kFailuresListed));
  return text;
}

std::string Totals(const RunSummary& run) {
  const long long elapsed = static_cast<long long>(run.endTime - run.startTime);
  const int seconds = static_cast<int>(elapsed);
  std::string text = StringPrintf(
      Plural(run.processed, TR("Building took %d h %d min %d s in all for %d font,\n"),
             TR("Building took %d h %d min %d s in all for %d fonts,\n")),
      seconds / 3600, (seconds % 3600) / 60, seconds % 60, run.processed);
  const long long tenths = elapsed * 10 / run.processed;
  if (tenths < 100)
    text += StringPrintf(TR("%d.%d s per font on average.\n"), static_cast<int>(tenths / 10),
                         static_cast<int>(tenths % 10));
  else
    text += StringPrintf(TR("%d s per font on average.\n"),
                         static_cast<int>(elapsed / run.processed));
  return text + StringPrintf(run.logsOnly
                                 ? TR("The directory\n    %s\nnow holds the directory log "
                                      "with the log files\nMETAFONT wrote; delete them if "
                                      "you do not need them.")
                                 : TR("The directory\n    %s\nnow holds the directories tfm "
                                      "and log with the files\nMETAFONT wrote; delete them if "
                                      "you do not need them."),
                             run.targetDir.c_str());
}

}  // namespace

std::string TermSummaryText(const RunSummary& run) {
  if (!run.specifiedShown && run.failed == 0 && run.notTried == 0 && !run.intoTree)
    return std::string();
  std::string text = Heading(run) + Counts(run) + Failures(run);
  if (run.processed > 0) text += Totals(run);
  return text + OutlineFontsText(run.outlineFonts);
}
