// kiln: the terminal program. Builds the missing PK fonts of the chosen
// font sets with METAFONT and gftopk, showing the progress on the terminal.
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "deffile/runsettings.h"
#include "install/keystore_posix.h"
#include "install/locate.h"
#include "run/sequence.h"
#include "ui/settings_model.h"
#include "ui/text.h"
#include "ui/term/catalogue.h"
#include "ui/term/dry_run.h"
#include "ui/term/ondemand.h"
#include "ui/term/options.h"
#include "ui/term/paths.h"
#include "ui/term/term_dialogue.h"
#include "ui/term/term_frontend.h"
#include "ui/term/term_log.h"
#include "ui/term/term_output.h"
#include "ui/term/tty.h"
#include "ui/term/word_list.h"

namespace {

int Install(KeyStore& keys, const std::string& file) {
  switch (InstallDefinitionPath(keys, AbsolutePath(file), nullptr)) {
    case InstallResult::Written:
      std::printf("%s\n", AbsolutePath(file).c_str());
      return 0;
    default:
      return 1;
  }
}

}  // namespace

int main(int argc, char** argv) {
  // Under a file-size limit a write past it must fail with EFBIG, which the
  // copies report, rather than kill kiln in the middle of filing a font.
  std::signal(SIGXFSZ, SIG_IGN);
  // Before anything is shown: without a catalogue the texts appear as written.
  UseMessageCatalogue(argc > 0 ? argv[0] : nullptr);
  std::vector<std::string> args(argv + 1, argv + argc);
  if (!args.empty() && args[0] == "--mktexpk") {
    // TeX's programs read the answer from standard output: everything
    // else goes to standard error.
    SetOutput(std::make_unique<TermOutput>(stderr, false, [] { return 0; }));
    TermLogSink log(ColourWanted(isatty(STDERR_FILENO), std::getenv("NO_COLOR")));
    SetLogSink(&log);
    TermDialogue dialogue;
    SetUserDialogue(&dialogue);
    debugMode = std::getenv("KILN_DEBUG") ? 1 : 0;
    debugPauseBox = false;
    return RunMakerRequest(std::vector<std::string>(args.begin() + 1, args.end()));
  }
  TermOptions options;
  std::string error;
  ParseStatus status = ParseTermOptions(args, options, error);
  if (options.listWords) {
    // Asked by a completion function while the user types: a half-typed
    // line is no usage error, and nothing but the words may be printed.
    FileKeyStore keys;
    ListCompletionWords(options, keys, stdout);
    return 0;
  }
  switch (status) {
    case ParseStatus::Help:
      std::fputs(HelpText().c_str(), stdout);
      return 0;
    case ParseStatus::Version:
      std::fputs(VersionText().c_str(), stdout);
      return 0;
    case ParseStatus::Usage:
      std::fprintf(stderr, TR("kiln: %s\nTry 'kiln --help' for more information.\n"),
                   error.c_str());
      return 2;
    case ParseStatus::Run:
      break;
  }

  SetOutput(std::make_unique<TermOutput>(
      stdout, CanRedrawInPlace(STDOUT_FILENO),
      [] { return TerminalWidth(STDOUT_FILENO); }));
  TermLogSink log(ColourWanted(isatty(STDERR_FILENO), std::getenv("NO_COLOR")));
  SetLogSink(&log);
  TermDialogue dialogue;
  SetUserDialogue(&dialogue);
  std::atexit(Tty::RestoreModes);
  debugMode = options.debug ? 1 : 0;
  debugPauseBox = false;

  FileKeyStore keys;
  if (!options.install.empty()) return Install(keys, options.install);
  if (options.uninstall) return Uninstall(keys, nullptr) ? 0 : 1;
  if (options.dryRun) return RunDryRun(options, keys);

  TermFrontEnd frontEnd(options, keys, dialogue);
  RunOutcome outcome = RunSequence(frontEnd, options.words);
  std::fflush(stdout);
  std::fflush(stderr);
  bool allBuilt = outcome.batchRan && outcome.completed && outcome.fontsFailed == 0 &&
                  outcome.filingFailures == 0 && !frontEnd.documentsPassedOver();
  return allBuilt ? 0 : 1;
}
