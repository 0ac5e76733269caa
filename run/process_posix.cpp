// The POSIX process runner. The child is started with posix_spawnp, so a
// program that cannot be found or executed is reported by the spawn itself
// (ENOENT, EACCES, ...) instead of surfacing later as a child exiting 127.
// Everything the child must not inherit from kiln is reset in the spawn:
// standard input (/dev/null), the process group (its own, so Ctrl-C at the
// terminal reaches kiln only), the signal mask and ignored signals (kiln may
// block SIGINT while it runs a batch), and every descriptor above 2.
//
// Closing those descriptors is the one step without a portable call: glibc
// closes them all in the spawn, Apple's spawn closes all that no file action
// names, and elsewhere (or with KILN_GENERIC_POSIX, which tests that path on
// Linux) the open ones without close-on-exec are closed one by one.
#include "run/process_posix.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#if defined(__linux__) && !defined(KILN_GENERIC_POSIX) && defined(__GLIBC__) && \
    (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
#define KILN_SPAWN_CLOSEFROM 1
#elif defined(__APPLE__)
#define KILN_SPAWN_CLOEXEC_DEFAULT 1
#endif

#include "deffile/runsettings.h"
#include "run/argsplit.h"

extern char** environ;

int NiceValueForPriorityClass(int priorityClass) {
  switch (priorityClass) {
    case PRIORITY_IDLE: return 19;
    case PRIORITY_HIGH: return -5;
    case PRIORITY_REALTIME: return -20;
    default: return 0;  // normal, and anything unknown: kiln's own
  }
}

namespace {

// Owns the spawn attribute and file-action objects for one start.
class SpawnSetup {
 public:
  SpawnSetup() {
    attrOk_ = posix_spawnattr_init(&attr_) == 0;
    actionsOk_ = posix_spawn_file_actions_init(&actions_) == 0;
  }
  ~SpawnSetup() {
    if (attrOk_) posix_spawnattr_destroy(&attr_);
    if (actionsOk_) posix_spawn_file_actions_destroy(&actions_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  // 0 or the errno of the first step that failed.
  int Prepare(const std::string& workingDirectory, int outputFd) {
    if (!attrOk_ || !actionsOk_) return ENOMEM;
    sigset_t all, terminalSignals;
    sigfillset(&all);
    // A Ctrl-C that lands while the child is still in kiln's process group
    // (between the spawn and its setpgid) would stay pending and kill it the
    // moment its mask is lifted. The terminal's signals therefore stay
    // blocked in the child: in a process group of its own, it never gets
    // them from the terminal anyway.
    sigemptyset(&terminalSignals);
    sigaddset(&terminalSignals, SIGINT);
    sigaddset(&terminalSignals, SIGQUIT);
    int flags = POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
#if defined(KILN_SPAWN_CLOEXEC_DEFAULT)
    flags |= POSIX_SPAWN_CLOEXEC_DEFAULT;
#endif
    int rc = posix_spawnattr_setflags(&attr_, static_cast<short>(flags));
    if (rc == 0) rc = posix_spawnattr_setpgroup(&attr_, 0);
    if (rc == 0) rc = posix_spawnattr_setsigdefault(&attr_, &all);
    if (rc == 0) rc = posix_spawnattr_setsigmask(&attr_, &terminalSignals);
    if (rc == 0 && !workingDirectory.empty())
      rc = posix_spawn_file_actions_addchdir_np(&actions_, workingDirectory.c_str());
    if (rc == 0)
      rc = posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (rc == 0 && outputFd >= 0) {
      rc = posix_spawn_file_actions_adddup2(&actions_, outputFd, STDOUT_FILENO);
      if (rc == 0) rc = posix_spawn_file_actions_adddup2(&actions_, outputFd, STDERR_FILENO);
    }
    // Descriptors kiln holds (the definition file, a pipe of an earlier
    // child) are none of the child's business.
#if defined(KILN_SPAWN_CLOSEFROM)
    if (rc == 0) rc = posix_spawn_file_actions_addclosefrom_np(&actions_, STDERR_FILENO + 1);
#elif defined(KILN_SPAWN_CLOEXEC_DEFAULT)
    // Standard output and error are closed too unless named.
    if (rc == 0 && outputFd < 0) {
      rc = posix_spawn_file_actions_addinherit_np(&actions_, STDOUT_FILENO);
      if (rc == 0) rc = posix_spawn_file_actions_addinherit_np(&actions_, STDERR_FILENO);
    }
#else
    if (rc == 0) rc = AddCloseInheritable();
#endif
    return rc;
  }

  const posix_spawnattr_t* attr() const { return &attr_; }
  const posix_spawn_file_actions_t* actions() const { return &actions_; }

 private:
#if !defined(KILN_SPAWN_CLOSEFROM) && !defined(KILN_SPAWN_CLOEXEC_DEFAULT)
  // A close action for every open descriptor above 2 that would survive the
  // exec: files kiln opened with fopen or a stream, and any inherited from
  // kiln's parent. Only kiln's master thread opens descriptors and spawns,
  // so the set cannot change before the spawn.
  int AddCloseInheritable() {
    // A soft limit of millions would make every start slow; descriptors are
    // handed out lowest first, so kiln's own are far below this.
    constexpr long kMaxScanned = 1L << 16;
    long limit = sysconf(_SC_OPEN_MAX);
    if (limit < 0 || limit > kMaxScanned) limit = kMaxScanned;
    for (int fd = STDERR_FILENO + 1; fd < limit; ++fd) {
      int flags = fcntl(fd, F_GETFD);
      if (flags < 0 || (flags & FD_CLOEXEC)) continue;
      int rc = posix_spawn_file_actions_addclose(&actions_, fd);
      if (rc != 0) return rc;
    }
    return 0;
  }
#endif

  posix_spawnattr_t attr_;
  posix_spawn_file_actions_t actions_;
  bool attrOk_ = false;
  bool actionsOk_ = false;
};

class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() { Close(); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  void Reset(int fd) { Close(); fd_ = fd; }
  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

// Keeps the tail of a stream: at most `limit` bytes once Finish() is called.
// Trimming only when twice the limit is held keeps appends amortised.
class TailBuffer {
 public:
  TailBuffer(std::string& text, std::size_t limit) : text_(text), limit_(limit) {}
  void Append(const char* data, std::size_t size) {
    text_.append(data, size);
    if (text_.size() > 2 * limit_) text_.erase(0, text_.size() - limit_);
  }
  void Finish() {
    if (text_.size() > limit_) text_.erase(0, text_.size() - limit_);
  }

 private:
  std::string& text_;
  std::size_t limit_;
};

// Reads whatever the pipe holds now. false once the pipe is at its end (every
// writer closed) or broken.
bool DrainPipe(int fd, TailBuffer& tail) {
  char chunk[4096];
  for (;;) {
    ssize_t n = read(fd, chunk, sizeof chunk);
    if (n > 0) {
      tail.Append(chunk, static_cast<std::size_t>(n));
      continue;
    }
    if (n == 0) return false;
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK;
  }
}

// waitpid without giving up on EINTR. true with *status when the child ended.
bool WaitChild(pid_t pid, int* status, bool block) {
  for (;;) {
    pid_t r = waitpid(pid, status, block ? 0 : WNOHANG);
    if (r == pid) return true;
    if (r == 0) return false;
    if (errno != EINTR) {
      // ECHILD: someone else reaped it (a SIGCHLD handler set to SIG_IGN);
      // there is no status left to read.
      *status = 0;
      return true;
    }
  }
}

// Reads the child's output until the child has ended. The pipe's end is the
// usual sign; a grandchild that inherited the pipe and lives on must not keep
// kiln waiting, so the child itself is looked at too, but only every
// kCheckInterval: METAFONT writes in small pieces, and a wait call after each
// would cost more than the reading.
int CollectUntilExit(pid_t pid, int fd, TailBuffer& tail) {
  constexpr auto kCheckInterval = std::chrono::milliseconds(100);
  int status = 0;
  bool open = true;
  auto nextCheck = std::chrono::steady_clock::now() + kCheckInterval;
  while (open) {
    pollfd p{fd, POLLIN, 0};
    int r = poll(&p, 1, static_cast<int>(kCheckInterval.count()));
    if (r > 0) open = DrainPipe(fd, tail);
    else if (r < 0 && errno != EINTR) open = false;
    if (open && std::chrono::steady_clock::now() >= nextCheck) {
      if (WaitChild(pid, &status, false)) {
        DrainPipe(fd, tail);
        tail.Finish();
        return status;
      }
      nextCheck = std::chrono::steady_clock::now() + kCheckInterval;
    }
  }
  WaitChild(pid, &status, true);
  tail.Finish();
  return status;
}

// Said once by the front end; the batch goes on at kiln's own priority.
std::string PriorityFailureText(int nice, int error) {
  char text[256];
  std::snprintf(text, sizeof text,
                "Cannot set nice value %d for METAFONT and gftopk (%s); "
                "they run at kiln's own priority.",
                nice, std::strerror(error));
  return text;
}

}  // namespace

ChildOutcome PosixProcessRunner::RunAndWait(
    const std::string& commandLine, const std::string& workingDirectory,
    int /*showType: windows have no meaning here*/, int priorityClass,
    const std::function<void(const ChildProcess&)>& started) {
  ChildOutcome outcome;
  lastOutput_.clear();

  std::vector<std::string> words = SplitCommandLine(commandLine);
  if (words.empty() || words[0].empty()) {
    outcome.error = ENOENT;  // no program named
    return outcome;
  }
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (std::string& word : words) argv.push_back(&word[0]);
  argv.push_back(nullptr);

  Descriptor readEnd, writeEnd;
  if (output_ == Output::Capture) {
    int fds[2];
    if (pipe(fds) != 0) {
      outcome.error = static_cast<unsigned long>(errno);
      return outcome;
    }
    readEnd.Reset(fds[0]);
    writeEnd.Reset(fds[1]);
    // Neither end belongs in a later child; only the child's own copy of
    // the write end (its standard output and error) may stay open.
    int flags = fcntl(readEnd.get(), F_GETFL);
    if (fcntl(readEnd.get(), F_SETFD, FD_CLOEXEC) != 0 ||
        fcntl(writeEnd.get(), F_SETFD, FD_CLOEXEC) != 0 || flags < 0 ||
        fcntl(readEnd.get(), F_SETFL, flags | O_NONBLOCK) != 0) {
      outcome.error = static_cast<unsigned long>(errno);
      return outcome;
    }
  }

  SpawnSetup setup;
  int rc = setup.Prepare(workingDirectory, writeEnd.get());
  pid_t pid = -1;
  if (rc == 0)
    rc = posix_spawnp(&pid, argv[0], setup.actions(), setup.attr(), argv.data(), environ);
  if (rc != 0) {
    outcome.error = static_cast<unsigned long>(rc);
    return outcome;
  }
  // Only the child writes now; kiln's copy would keep the pipe from ending.
  writeEnd.Close();
  outcome.started = true;

  if (priorityClass != PRIORITY_NORMAL) {
    int nice = NiceValueForPriorityClass(priorityClass);
    errno = 0;
    int own = getpriority(PRIO_PROCESS, 0);
    bool ownKnown = !(own == -1 && errno != 0);
    if (!ownKnown || nice != own) {
      if (setpriority(PRIO_PROCESS, static_cast<id_t>(pid), nice) != 0 && errno != ESRCH)
        priorityWarning_ = PriorityFailureText(nice, errno);
    }
  }

  if (started) {
    ChildProcess child;
    child.processId = static_cast<long>(pid);
    child.threadId = 0;
    started(child);
  }

  int status = 0;
  if (output_ == Output::Capture) {
    TailBuffer tail(lastOutput_, kCapturedBytes);
    status = CollectUntilExit(pid, readEnd.get(), tail);
  } else {
    WaitChild(pid, &status, true);
  }
  if (WIFEXITED(status)) outcome.exitCode = WEXITSTATUS(status);
  else if (WIFSIGNALED(status)) outcome.signal = WTERMSIG(status);
  return outcome;
}
