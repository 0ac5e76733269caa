#include "ui/term/term_frontend.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>

#include "run/filesys.h"
#include "run/handshake.h"
#include "ui/term/settings_screen.h"
#include "ui/term/term_output.h"
#include "ui/term/tty.h"

namespace {

const char kStopQuestion[] =
    "終了しても宜しいですか。\n【注意】\n  OKを選択しても直ぐには停止出来ませ\n"
    "  ん(ダイアログは直ぐに消えますが)。\n  若干のタイムラグがありますがストー\n"
    "  ルではありませんので, 辛抱強くお待\n  ち下さい(^_^;";

// The terminal program ends soon after the batch: a shorter poll than the
// dialog's second keeps the exit quick.
constexpr int kEpiloguePollMs = 100;

int ReadSignal(int fd) {
  struct signalfd_siginfo info;
  ssize_t n;
  do n = read(fd, &info, sizeof info); while (n < 0 && errno == EINTR);
  return n == static_cast<ssize_t>(sizeof info) ? static_cast<int>(info.ssi_signo) : 0;
}

}  // namespace

std::string AbsolutePath(const std::string& path) {
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved)) return resolved;
  return path;
}

int TermInstallPrompt::RunInstallDialog() {
  if (!Tty::Available()) {
    Output().Print(stderr,
                   "(no terminal to type the definition file's path on: the "
                   "install is cancelled; record it with kiln --install FILE)\n");
    return 0;
  }
  for (;;) {
    Tty::Write("定義ファイル (FONTS.DAT) のパス, 空行で中止: ");
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
  for (int fd : {signalFd_, wakePipe_[0], wakePipe_[1]})
    if (fd >= 0) close(fd);
}

int DefinitionFromOptions(const TermOptions& options, std::string& path) {
  if (options.definition.empty()) return -1;
  if (!PathExists(options.definition)) {
    Output().Print(stderr, "kiln: the definition file " + options.definition +
                               " does not exist\n");
    return 0;
  }
  path = AbsolutePath(options.definition);
  return 1;
}

int TermFrontEnd::LocateDefinitionFile(std::string& path) {
  int given = DefinitionFromOptions(options_, path);
  if (given >= 0) return given;
  TermInstallPrompt prompt(keys_);
  return ::LocateDefinitionFile(keys_, prompt, path);
}

int TermFrontEnd::ShowSettingsDialog() { return SettleSettings(options_, keys_); }

bool TermFrontEnd::StartProgressThread() {
  // Blocked before the thread exists, so that both threads inherit the
  // mask and the signals are taken only through signalFd_.
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  if (pthread_sigmask(SIG_BLOCK, &set, nullptr) != 0) return false;
  signalFd_ = signalfd(-1, &set, SFD_CLOEXEC);
  if (signalFd_ < 0 || pipe2(wakePipe_, O_CLOEXEC) != 0) return false;
  try {
    thread_ = std::thread([this] { ProgressThreadMain(); });
  } catch (...) {
    return false;
  }
  return true;
}

void TermFrontEnd::ProgressThreadMain() {
  progressDialog = 1;  // the view exists: the master may write it
  std::string notice;
  for (;;) {
    struct pollfd fds[2] = {{wakePipe_[0], POLLIN, 0}, {signalFd_, POLLIN, 0}};
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[0].revents) break;  // the master's own close
    if (!fds[1].revents) continue;
    int signo = ReadSignal(signalFd_);
    if (signo == SIGINT && confirmStop && Tty::Available()) {
      int woken = -1;
      Answer answer = AskOkCancel("確認", kStopQuestion, {wakePipe_[0], signalFd_}, &woken);
      if (answer == Answer::Cancel) continue;
      if (answer == Answer::Woken && woken == 1 && ReadSignal(signalFd_) != SIGTERM)
        continue;
    } else if (signo == SIGINT || signo == SIGTERM) {
      if (confirmStop)
        notice = std::string("kiln: ") + (signo == SIGINT ? "SIGINT" : "SIGTERM") +
                 ": the batch stops after the font being built\n";
    } else {
      continue;
    }
    break;
  }
  view_.End();
  if (!notice.empty()) Output().Print(stderr, notice);
  viewEnded_ = true;
  ProgressThreadEpilogue(kEpiloguePollMs);
  threadEnded_ = true;
}

bool TermFrontEnd::ProgressThreadEnded() { return threadEnded_; }

void TermFrontEnd::CloseProgressView() {
  if (wakePipe_[1] >= 0) (void)!write(wakePipe_[1], "x", 1);
  while (!viewEnded_ && !threadEnded_)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

void TermFrontEnd::JoinProgressThread() {
  if (thread_.joinable()) thread_.join();
}
