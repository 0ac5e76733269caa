#include "ui/term/term_frontend.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "deffile/reader.h"
#include "deffile/runsettings.h"
#include "run/filesys.h"
#include "run/handshake.h"
#include "ui/term/mode_check.h"
#include "ui/log.h"
#include "ui/term/paths.h"
#include "ui/term/settings_screen.h"
#include "ui/term/summary.h"
#include "ui/term/term_output.h"
#include "ui/term/tty.h"

namespace {

const char kStopQuestion[] =
    TR_NOOP("終了しても宜しいですか。\n【注意】\n  OKを選択しても直ぐには停止出来ませ\n"
    "  ん(ダイアログは直ぐに消えますが)。\n  若干のタイムラグがありますがストー\n"
    "  ルではありませんので, 辛抱強くお待\n  ち下さい(^_^;");

// The write end of the signal pipe while a front end listens, else -1.
// A lock-free atomic may be read in a signal handler.
std::atomic<int> signalPipeWrite{-1};
static_assert(std::atomic<int>::is_always_lock_free, NOTR("read in a signal handler"));
static_assert(std::atomic<bool>::is_always_lock_free, NOTR("read in a signal handler"));

// Turns SIGINT and SIGTERM into a byte on the signal pipe, so that the
// progress thread can wait for them together with the terminal and the wake
// pipe. Only the progress thread has them unblocked, so this runs there.
// True while a SIGINT would be answered by the stop question.
std::atomic<bool> interruptAsks{false};

void ForwardSignal(int signo) {
  int saved = errno;
  // A stop that needs no question takes effect at the master's very next
  // check, not only once the progress thread has read the pipe: a signal
  // that comes between two fonts must not let one more font start.
  if (signo == SIGTERM || (signo == SIGINT && !interruptAsks.load()))
    if (confirmStop.load()) terminateRequest.store(1);
  int fd = signalPipeWrite.load();
  unsigned char byte = static_cast<unsigned char>(signo);
  if (fd >= 0) (void)!write(fd, &byte, 1);
  errno = saved;
}

// A pipe whose ends are not inherited by the children; nonblocking: a full
// signal pipe drops a signal (one already waits) rather than hang the
// handler, and reads never wait.
bool OpenPipe(int fds[2], bool nonblocking) {
  if (pipe(fds) != 0) return false;
  for (int i = 0; i < 2; ++i) {
    int flags = fcntl(fds[i], F_GETFL);
    if (fcntl(fds[i], F_SETFD, FD_CLOEXEC) != 0 || flags < 0 ||
        (nonblocking && fcntl(fds[i], F_SETFL, flags | O_NONBLOCK) != 0))
      return false;
  }
  return true;
}

// The next signal number on the signal pipe, or 0 when none is there.
int ReadSignal(int fd) {
  unsigned char byte;
  ssize_t n;
  do n = read(fd, &byte, 1); while (n < 0 && errno == EINTR);
  return n == 1 ? byte : 0;
}

sigset_t StopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

}  // namespace

int TermFrontEnd::Workers() {
  int jobs = options_.jobs;
  // The definition file's JOBS line, where -j does not override it (a run
  // from the driver's settings may have no definition file).
  if (!options_.jobsGiven && !runSettings.definitionPath.empty()) {
    std::string value;
    jobs = ReadJobs(runSettings.definitionPath, value);
    if (jobs == kJobsInvalid)
      Output().Print(stderr, StringPrintf(TR("kiln: JOBS %s in %s is no number from 0 to %d; "
                                             "one font is built at a time\n"),
                                          value.c_str(), runSettings.definitionPath.c_str(),
                                          static_cast<int>(kMaxJobsLine)));
    if (jobs < 0) jobs = 1;
    if (jobs > kMaxJobs) jobs = kMaxJobs;
  }
  if (jobs > 0) return jobs;
  int cpus = AvailableCpus();
  return cpus < kMaxJobs ? cpus : kMaxJobs;
}

std::string TermFrontEnd::SummaryText(const RunSummary& run) {
  return TermSummaryText(run);
}

bool TermFrontEnd::WarnsOfIgnoredArguments() {
  // Without a settings screen to follow, an ignored argument ends the run,
  // and the settings tell every reason in one message.
  return SettingsScreenAvailable();
}

int TermInstallPrompt::RunInstallDialog() {
  if (!Tty::Available()) {
    Output().Print(stderr,
                   TR("(no terminal to type the definition file's path on: the "
                      "install is cancelled; record it with kiln --install FILE)\n"));
    return 0;
  }
  for (;;) {
    Tty::Write(TR("定義ファイル (FONTS.DAT) のパス, 空行で中止: "));
    std::string typed;
    if (!Tty::ReadLine(typed) || typed.empty()) return 0;
    switch (InstallDefinitionPath(keys_, AbsolutePath(typed), nullptr)) {
      case InstallResult::Written: return 1;
      case InstallResult::NoSuchFile: continue;  // the dialog stays open
      case InstallResult::Failed: return 0;
    }
  }
}

TermFrontEnd::TermFrontEnd(const TermOptions& options, KeyStore& keys,
                           TermDialogue& dialogue)
    : options_(options),
      keys_(keys),
      dialogue_(dialogue),
      documents_(options),
      view_(Output(), [] { return TerminalWidth(STDOUT_FILENO); }),
      runner_(posixRunner_, view_, options.detailed) {
  dialogue_.errorContext = [this] { return runner_.TakeFailureContext(); };
}

TermFrontEnd::~TermFrontEnd() {
  dialogue_.errorContext = nullptr;
  if (thread_.joinable()) {
    masterFinished = 1;
    if (wakePipe_[1] >= 0) (void)!write(wakePipe_[1], "x", 1);
    thread_.join();
  }
  if (handlersSet_) {
    sigaction(SIGINT, &savedInt_, nullptr);
    sigaction(SIGTERM, &savedTerm_, nullptr);
  }
  signalPipeWrite = -1;
  for (int fd : {signalPipe_[0], signalPipe_[1], wakePipe_[0], wakePipe_[1]})
    if (fd >= 0) close(fd);
}

int TermFrontEnd::LocateDefinitionFile(std::string& path) {
  int documents = documents_.Locate(keys_, path);
  if (documents >= 0) return documents;
  int given = DefinitionFromOptions(options_, path);
  if (given >= 0) return given;
  TermInstallPrompt prompt(keys_);
  return ::LocateDefinitionFile(keys_, prompt, path);
}

int TermFrontEnd::ShowSettingsDialog() {
  if (!documents_.ChooseTree(true)) return 0;
  if (documents_.fromDriver() ? !documents_.SettleFromDriver(false)
                              : !SettleSettings(options_, keys_))
    return 0;
  documents_.SaySettings();
  // Everything that can refuse the run does so before any font is built.
  if (!documents_.PlanJobs()) return 0;
  // A mode METAFONT does not know would otherwise build every font in
  // proof mode, silently.
  return CheckModeResolution();
}

bool TermFrontEnd::StartProgressThread() {
  if (!OpenPipe(wakePipe_, false) || !OpenPipe(signalPipe_, true)) return false;
  // Blocked before the thread exists, so that every thread inherits the
  // mask; the progress thread alone unblocks them, and the handler turns
  // them into bytes on signalPipe_.
  sigset_t set = StopSignals();
  if (pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) return false;
  interruptAsks = Tty::Available();
  signalPipeWrite = signalPipe_[1];
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = ForwardSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  if (sigaction(SIGINT, &action, &savedInt_) != 0) return false;
  if (sigaction(SIGTERM, &action, &savedTerm_) != 0) {
    sigaction(SIGINT, &savedInt_, nullptr);
    return false;
  }
  handlersSet_ = true;
  try {
    thread_ = std::thread([this] { ProgressThreadMain(); });
  } catch (...) {
    return false;
  }
  return true;
}

void TermFrontEnd::ProgressThreadMain() {
  progressDialog = 1;  // the view exists: the master may write it
  sigset_t stopSignals = StopSignals();
  pthread_sigmask(SIG_UNBLOCK, &stopSignals, nullptr);
  std::string notice;
  for (;;) {
    struct pollfd fds[2] = {{wakePipe_[0], POLLIN, 0}, {signalPipe_[0], POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[0].revents) break;  // the master's own close
    if (!fds[1].revents) continue;
    int signo = ReadSignal(signalPipe_[0]);
    if (signo == SIGINT && confirmStop && Tty::Available()) {
      int woken = -1;
      holdNewJobs = 1;
      Answer answer = AskOkCancel(TR("確認"), TR(kStopQuestion), {wakePipe_[0], signalPipe_[0]},
                                  &woken);
      holdNewJobs = 0;
      if (answer == Answer::Cancel) continue;
      if (answer == Answer::Woken && woken == 1 &&
          ReadSignal(signalPipe_[0]) != SIGTERM)
        continue;
    } else if (signo == SIGINT || signo == SIGTERM) {
      if (confirmStop)
        notice = StringPrintf(TR("kiln: %s: the batch stops after the font being built\n"),
                              signo == SIGINT ? "SIGINT" : "SIGTERM");
    } else {
      continue;
    }
    break;
  }
  // Later signals stay pending, as in the other threads: the stop is on
  // its way and nothing waits for another.
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  view_.End();
  if (!notice.empty()) Output().Print(stderr, notice);
  viewEnded_ = true;
  // The master's last word comes through the wake pipe, so the program
  // ends the moment the batch does.
  ProgressThreadEpilogue([this] {
    struct pollfd wake = {wakePipe_[0], POLLIN, 0};
    if (poll(&wake, 1, -1) > 0) {
      char bytes[16];
      (void)!read(wakePipe_[0], bytes, sizeof bytes);
    }
  });
  threadEnded_ = true;
}

bool TermFrontEnd::ProgressThreadEnded() { return threadEnded_; }

void TermFrontEnd::CloseProgressView() {
  if (wakePipe_[1] >= 0) (void)!write(wakePipe_[1], "x", 1);
  while (!viewEnded_ && !threadEnded_)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void TermFrontEnd::JoinProgressThread() {
  // masterFinished is set: this wakes the thread's last wait.
  if (wakePipe_[1] >= 0) (void)!write(wakePipe_[1], "x", 1);
  if (thread_.joinable()) thread_.join();
}
