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
#include <mutex>

#if defined(__linux__) && !defined(KILN_GENERIC_POSIX)
#define KILN_SIGNALFD 1
#include <sys/signalfd.h>
#endif

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

// SIGINT and SIGTERM stay blocked in every thread, so that one that has
// arrived stays pending until the signal thread takes it (sigwait) and sets
// what it means (terminateRequest, holdNewJobs). Taking it and setting that
// is one step under stopMutex, and the master's check before a font starts
// looks under the same mutex: a signal that has arrived is either still
// pending (the master waits for it to be taken) or has set its word. A
// handler could not give that: the kernel takes the signal for the handler
// some time before the handler runs.
std::mutex stopMutex;
bool takingSignals = false;  // under stopMutex
// True while a SIGINT would be answered by the stop question.
std::atomic<bool> interruptAsks{false};

sigset_t StopSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  return set;
}

bool StopSignalPending() {
  sigset_t pending;
  if (sigpending(&pending) != 0) return false;
  return sigismember(&pending, SIGINT) == 1 || sigismember(&pending, SIGTERM) == 1;
}

// For the batch's checks (stopRequestWaiting).
bool StopSignalWaiting() {
  std::lock_guard<std::mutex> lock(stopMutex);
  return takingSignals && StopSignalPending();
}

// Under stopMutex: takes one pending stop signal (SIGTERM first), 0 when
// none is pending.
int TakeStopSignal() {
  sigset_t pending;
  if (sigpending(&pending) != 0) return 0;
  for (int signo : {SIGTERM, SIGINT}) {
    if (sigismember(&pending, signo) != 1) continue;
    sigset_t one;
    sigemptyset(&one);
    sigaddset(&one, signo);
    int taken = 0;
    if (sigwait(&one, &taken) == 0) return taken;
  }
  return 0;
}

// Signals that a handler would take are not discarded while blocked, also
// when kiln's parent left them ignored; this handler never runs.
void NoteSignal(int) {}

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

BatchRules TermFrontEnd::Rules() {
  BatchRules rules;
  rules.fileFailedJobs = true;
  rules.countEachJobOnce = true;
  return rules;
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
  {
    std::lock_guard<std::mutex> lock(stopMutex);
    takingSignals = false;
  }
  stopRequestWaiting = nullptr;
  if (signalThread_.joinable()) {
    (void)!write(signalStopPipe_[1], "x", 1);
    signalThread_.join();
  }
  if (handlersSet_) {
    sigaction(SIGINT, &savedInt_, nullptr);
    sigaction(SIGTERM, &savedTerm_, nullptr);
  }
  for (int fd : {signalPipe_[0], signalPipe_[1], wakePipe_[0], wakePipe_[1],
                 signalStopPipe_[0], signalStopPipe_[1]})
    if (fd >= 0) close(fd);
}

bool TermFrontEnd::WaitForBusyDirectory(const std::string& directory) {
  if (options_.noWait) return false;
  const std::string& place = runSettings.treeRoot.empty() ? directory : runSettings.treeRoot;
  Output().Print(stderr, StringPrintf(TR("kiln: another kiln is building fonts in %s; "
                                         "waiting until it has ended\n"),
                                      place.c_str()));
  return true;
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
  documents_.DefaultReaction();
  if (documents_.fromDriver() ? !documents_.SettleFromDriver(false)
                              : !SettleSettings(options_, keys_))
    return 0;
  documents_.SaySettings();
  // Everything that can refuse the run does so before any font is built.
  if (!documents_.PlanJobs()) return 0;
  // A mode METAFONT does not know would otherwise build every font in
  // proof mode, silently. Going on after a failed font, the documents'
  // default, does not reach that far: every font would fail.
  return CheckModeResolution(documents_.reactionChosen() ? errorReaction : 'S');
}

bool TermFrontEnd::StartProgressThread() {
  if (!OpenPipe(wakePipe_, false) || !OpenPipe(signalPipe_, true) ||
      !OpenPipe(signalStopPipe_, false))
    return false;
  // Blocked before the threads exist, so that every thread inherits the
  // mask; the signal thread takes them and turns them into bytes on
  // signalPipe_ for the progress thread.
  sigset_t set = StopSignals();
  if (pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) return false;
  interruptAsks = Tty::Available();
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = NoteSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  if (sigaction(SIGINT, &action, &savedInt_) != 0) return false;
  if (sigaction(SIGTERM, &action, &savedTerm_) != 0) {
    sigaction(SIGINT, &savedInt_, nullptr);
    return false;
  }
  handlersSet_ = true;
  stopRequestWaiting = StopSignalWaiting;
  try {
    thread_ = std::thread([this] { ProgressThreadMain(); });
  } catch (...) {
    return false;
  }
  return true;
}

// Linux: a signalfd tells when a stop signal is pending. Elsewhere there is
// no portable way to wait for a signal without taking it, so the pending set
// is looked at every kSignalPollMs.
void TermFrontEnd::SignalThreadMain() {
  constexpr int kSignalPollMs = 10;
  int pendingFd = -1;
#if defined(KILN_SIGNALFD)
  sigset_t set = StopSignals();
  pendingFd = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
#endif
  for (;;) {
    struct pollfd fds[2] = {{signalStopPipe_[0], POLLIN, 0}, {pendingFd, POLLIN, 0}};
    int r = poll(fds, pendingFd >= 0 ? 2 : 1, pendingFd >= 0 ? -1 : kSignalPollMs);
    if (r < 0 && errno != EINTR) break;
    if (r > 0 && fds[0].revents) break;
    std::lock_guard<std::mutex> lock(stopMutex);
    // The progress thread has stopped listening: later signals stay
    // pending, as nothing waits for another.
    if (!takingSignals) break;
    int signo = TakeStopSignal();
    if (signo == 0) continue;
    if (signo == SIGINT && interruptAsks.load()) {
      // A question will be asked: no new job starts before its answer.
      if (confirmStop.load()) holdNewJobs = 1;
    } else if (confirmStop.load()) {
      terminateRequest = 1;
    }
    unsigned char byte = static_cast<unsigned char>(signo);
    (void)!write(signalPipe_[1], &byte, 1);
  }
  if (pendingFd >= 0) close(pendingFd);
}

void TermFrontEnd::ProgressThreadMain() {
  progressDialog = 1;  // the view exists: the master may write it
  // Signals are taken from now on; one that came earlier has waited.
  {
    std::lock_guard<std::mutex> lock(stopMutex);
    takingSignals = true;
  }
  try {
    signalThread_ = std::thread([this] { SignalThreadMain(); });
  } catch (...) {
    // Without it no signal is taken: they stay pending, and the batch runs
    // to its end.
    std::lock_guard<std::mutex> lock(stopMutex);
    takingSignals = false;
  }
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
      // The stop is known before the hold ends, so no job slips in between.
      if (answer == Answer::Ok && confirmStop) terminateRequest = 1;
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
  // Later signals stay pending: the stop is on its way and nothing waits
  // for another.
  {
    std::lock_guard<std::mutex> lock(stopMutex);
    takingSignals = false;
  }
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
