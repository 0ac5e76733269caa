// The POSIX process runner. A program that cannot be found or executed is
// reported by the start itself (ENOENT, EACCES, ...) instead of surfacing
// later as a child exiting 127. Everything the child must not inherit from
// kiln is reset before the exec: standard input (/dev/null), the process
// group (its own, so Ctrl-C at the terminal reaches kiln only), the signal
// mask and ignored signals (kiln blocks SIGINT and SIGTERM while it runs a
// batch), and every descriptor above 2 but one: the directory lock's.
//
// A child must never outlive kiln: the next run would clear the scratch
// directory under it. On Linux the child asks for SIGKILL when its parent
// ends (the parent-death signal), which no spawn call can set, so the child
// is forked by hand and takes only async-signal-safe steps before the exec.
// The signal follows the thread that forked the child: every child is
// started by the master thread, which lives until the batch has ended.
// Elsewhere (and with KILN_GENERIC_POSIX, which tests that path on Linux)
// posix_spawnp starts it and there is no such signal; there a child of a
// kiln that was killed outright runs its one program to the end.
//
// Either way the child holds kiln's directory lock (the same open file, so
// the same flock) until it ends: the next kiln in that directory waits for
// the last child of a killed run to be gone before it clears anything, also
// in the moment between kiln's death and its children's.
#include "run/process_posix.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#if defined(__linux__) && !defined(KILN_GENERIC_POSIX)
#define KILN_DEATH_SIGNAL 1
#include <linux/close_range.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#elif defined(__APPLE__)
#define KILN_SPAWN_CLOEXEC_DEFAULT 1
#endif

#include "deffile/runsettings.h"
#include "run/argsplit.h"
#include "run/dirlock.h"
#include "ui/text.h"

extern char** environ;

bool IsExecutableFile(const std::string& path) {
  struct stat status;
  return stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) &&
         access(path.c_str(), X_OK) == 0;
}

std::string ProgramOnPath(const std::string& program) {
  if (program.find('/') != std::string::npos)
    return IsExecutableFile(program) ? program : std::string();
  const char* path = std::getenv("PATH");
  std::string list = path ? path : "";
  std::size_t start = 0;
  for (;;) {
    std::size_t end = list.find(':', start);
    std::string directory = list.substr(start, end == std::string::npos ? end : end - start);
    if (directory.empty()) directory = ".";
    if (IsExecutableFile(directory + "/" + program)) return directory + "/" + program;
    if (end == std::string::npos) return std::string();
    start = end + 1;
  }
}

int NiceValueForPriorityClass(int priorityClass) {
  switch (priorityClass) {
    case PRIORITY_IDLE: return 19;
    case PRIORITY_HIGH: return -5;
    case PRIORITY_REALTIME: return -20;
    default: return 0;  // normal, and anything unknown: kiln's own
  }
}

namespace {

// A child that must not take the terminal's signals: in a process group of
// its own it never gets them from the terminal anyway, and one that lands
// between the start and the child's own process group would otherwise stay
// pending and kill it the moment its mask is lifted.
sigset_t ChildSignalMask() {
  sigset_t terminalSignals;
  sigemptyset(&terminalSignals);
  sigaddset(&terminalSignals, SIGINT);
  sigaddset(&terminalSignals, SIGQUIT);
  return terminalSignals;
}

#if defined(KILN_DEATH_SIGNAL)

// What the child needs, all of it made before the start: the child shares
// kiln's memory (vfork) until its exec, so it allocates nothing, calls only
// what is async-signal-safe, and leaves through the exit system call (a
// sanitizer's _exit would run its end-of-process checks in there).
struct ChildPlan {
  char* const* argv = nullptr;
  std::vector<const char*> candidates;  // the paths to try, in execvp's order
  char* const* envp = nullptr;
  const char* directory = nullptr;      // nullptr: kiln's own
  int outputFd = -1;
  bool quietErrors = false;
  bool ownGroup = true;
  int lockFd = -1;
  pid_t parent = 0;
  int fdLimit = 0;                      // for kernels without close_range
  sigset_t mask;
  int ignored[NSIG] = {};               // signals kiln ignores: an exec keeps those
  int ignoredCount = 0;
  volatile int error = 0;               // the step that failed before the exec
};

// execvp's search, done in the parent: a name with a slash is tried as it
// is, any other under each PATH entry (an empty entry: the current
// directory; no PATH: glibc's own default).
std::vector<std::string> ProgramCandidates(const std::string& program) {
  if (program.find('/') != std::string::npos) return {program};
  const char* path = std::getenv("PATH");
  std::string list = path ? path : "/bin:/usr/bin";
  std::vector<std::string> candidates;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = list.find(':', start);
    std::string entry = list.substr(start, end == std::string::npos ? end : end - start);
    candidates.push_back(entry.empty() ? program : entry + "/" + program);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return candidates;
}

[[noreturn]] void FailChild(ChildPlan& plan, int error) {
  plan.error = error != 0 ? error : ECHILD;
  for (;;) syscall(SYS_exit_group, 127);
}

// The child between its start and its exec. Handlers need no reset (an exec
// resets them); ignored signals and the mask do.
[[noreturn]] void ExecChild(ChildPlan& plan) {
  if (syscall(SYS_prctl, PR_SET_PDEATHSIG, SIGKILL, 0, 0, 0) != 0) FailChild(plan, errno);
  // kiln may have been killed before the request above: no signal would come.
  if (getppid() != plan.parent) for (;;) syscall(SYS_exit_group, 127);
  if (plan.ownGroup) setpgid(0, 0);
  struct sigaction byDefault;
  std::memset(&byDefault, 0, sizeof byDefault);
  byDefault.sa_handler = SIG_DFL;
  sigemptyset(&byDefault.sa_mask);
  for (int i = 0; i < plan.ignoredCount; ++i) sigaction(plan.ignored[i], &byDefault, nullptr);
  if (plan.directory && chdir(plan.directory) != 0) FailChild(plan, errno);
  int input = open("/dev/null", O_RDONLY);
  if (input < 0) FailChild(plan, errno);
  if (input != STDIN_FILENO) {
    if (dup2(input, STDIN_FILENO) < 0) FailChild(plan, errno);
    close(input);
  }
  if (plan.outputFd >= 0 &&
      (dup2(plan.outputFd, STDOUT_FILENO) < 0 ||
       (!plan.quietErrors && dup2(plan.outputFd, STDERR_FILENO) < 0)))
    FailChild(plan, errno);
  if (plan.quietErrors) {
    int null = open("/dev/null", O_WRONLY);
    if (null < 0) FailChild(plan, errno);
    if (null != STDERR_FILENO) {
      if (dup2(null, STDERR_FILENO) < 0) FailChild(plan, errno);
      close(null);
    }
  }
  // Descriptors kiln holds (the definition file, a pipe of an earlier
  // child) are none of the child's business: all close at the exec...
  bool marked = false;
#if defined(SYS_close_range) && defined(CLOSE_RANGE_CLOEXEC)
  marked = syscall(SYS_close_range, STDERR_FILENO + 1, ~0U, CLOSE_RANGE_CLOEXEC) == 0;
#endif
  for (int fd = STDERR_FILENO + 1; !marked && fd < plan.fdLimit; ++fd) {
    int flags = fcntl(fd, F_GETFD);
    if (flags >= 0 && !(flags & FD_CLOEXEC)) fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
  }
  // ... but the lock, which the child holds as long as it lives.
  if (plan.lockFd > STDERR_FILENO) fcntl(plan.lockFd, F_SETFD, 0);
  sigprocmask(SIG_SETMASK, &plan.mask, nullptr);

  int error = ENOENT;
  bool denied = false;
  for (const char* candidate : plan.candidates) {
    execve(candidate, plan.argv, plan.envp);
    // As execvp: a directory without the program, or one without access,
    // sends the search on; any other error ends it.
    if (errno == EACCES) {
      denied = true;
    } else if (errno != ENOENT && errno != ENOTDIR && errno != ESTALE && errno != ENODEV &&
               errno != ETIMEDOUT) {
      error = errno;
      denied = false;
      break;
    }
  }
  FailChild(plan, denied ? EACCES : error);
}

// 0 with the child's pid, or the errno of the step that failed (the start,
// or any step of the child's before and including its exec). vfork: a fork
// would copy kiln's page tables for a child that only execs, which costs
// twice a spawn where starting processes is slow.
int ForkChild(char* const* argv, const std::string& workingDirectory, const ChildSetup& setup,
              pid_t& pid) {
  ChildPlan plan;
  std::vector<std::string> candidates = ProgramCandidates(argv[0]);
  for (const std::string& candidate : candidates) plan.candidates.push_back(candidate.c_str());
  plan.argv = argv;
  plan.envp = environ;
  plan.directory = workingDirectory.empty() ? nullptr : workingDirectory.c_str();
  plan.outputFd = setup.outputFd;
  plan.quietErrors = setup.quietErrors;
  plan.ownGroup = setup.ownProcessGroup;
  plan.lockFd = HeldDirLockDescriptor();
  plan.parent = getpid();
  constexpr long kMaxScanned = 1L << 16;
  long limit = sysconf(_SC_OPEN_MAX);
  plan.fdLimit = static_cast<int>(limit < 0 || limit > kMaxScanned ? kMaxScanned : limit);
  if (setup.ownProcessGroup) plan.mask = ChildSignalMask();
  else sigemptyset(&plan.mask);
  for (int signo = 1; signo < NSIG; ++signo) {
    struct sigaction current;
    if (sigaction(signo, nullptr, &current) == 0 && current.sa_handler == SIG_IGN)
      plan.ignored[plan.ignoredCount++] = signo;
  }

  // No handler may run in the child while it shares kiln's memory.
  sigset_t all, saved;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &saved);
  pid = vfork();
  if (pid == 0) ExecChild(plan);
  int startError = errno;
  pthread_sigmask(SIG_SETMASK, &saved, nullptr);
  if (pid < 0) return startError;
  if (plan.error == 0) return 0;
  int status;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  pid = -1;
  return plan.error;
}

#else  // posix_spawnp

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
  int Prepare(const std::string& workingDirectory, const ChildSetup& setup) {
    if (!attrOk_ || !actionsOk_) return ENOMEM;
    const int outputFd = setup.outputFd;
    sigset_t all;
    sigfillset(&all);
    sigset_t terminalSignals = ChildSignalMask();
    if (!setup.ownProcessGroup) sigemptyset(&terminalSignals);
    int flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
    if (setup.ownProcessGroup) flags |= POSIX_SPAWN_SETPGROUP;
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
      if (rc == 0 && !setup.quietErrors)
        rc = posix_spawn_file_actions_adddup2(&actions_, outputFd, STDERR_FILENO);
    }
    if (rc == 0 && setup.quietErrors)
      rc = posix_spawn_file_actions_addopen(&actions_, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    // Descriptors kiln holds (the definition file, a pipe of an earlier
    // child) are none of the child's business.
#if defined(KILN_SPAWN_CLOEXEC_DEFAULT)
    // Standard output and error are closed too unless named.
    if (rc == 0 && outputFd < 0)
      rc = posix_spawn_file_actions_addinherit_np(&actions_, STDOUT_FILENO);
    if (rc == 0 && outputFd < 0 && !setup.quietErrors)
      rc = posix_spawn_file_actions_addinherit_np(&actions_, STDERR_FILENO);
#else
    if (rc == 0) rc = AddCloseInheritable();
#endif
    // The directory lock, as a copy without close-on-exec (a dup2 onto
    // itself would keep the flag on some systems), last, so that no close
    // above undoes it.
    int lockFd = HeldDirLockDescriptor();
    if (rc == 0 && lockFd > STDERR_FILENO)
      rc = posix_spawn_file_actions_adddup2(&actions_, lockFd, lockFd == 3 ? 4 : 3);
    return rc;
  }

  const posix_spawnattr_t* attr() const { return &attr_; }
  const posix_spawn_file_actions_t* actions() const { return &actions_; }

 private:
#if !defined(KILN_SPAWN_CLOEXEC_DEFAULT)
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

#endif  // posix_spawnp

class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() { Close(); }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  void Reset(int fd) { Close(); fd_ = fd; }
  int Release() {
    int fd = fd_;
    fd_ = -1;
    return fd;
  }
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
                TR("Cannot set nice value %d for METAFONT and gftopk (%s); "
                   "they run at kiln's own priority."),
                nice, std::strerror(error));
  return text;
}

}  // namespace

int StartChild(char* const* argv, const std::string& directory, const ChildSetup& setup,
               pid_t& pid) {
  pid = -1;
#if defined(KILN_DEATH_SIGNAL)
  return ForkChild(argv, directory, setup, pid);
#else
  SpawnSetup spawn;
  int rc = spawn.Prepare(directory, setup);
  if (rc == 0)
    rc = posix_spawnp(&pid, argv[0], spawn.actions(), spawn.attr(), argv, environ);
  return rc;
#endif
}

int PosixProcessRunner::Spawn(const std::string& commandLine,
                              const std::string& workingDirectory, int priorityClass,
                              long& pid, int& readFd) {
  pid = -1;
  readFd = -1;
  std::vector<std::string> words = SplitCommandLine(commandLine);
  if (words.empty() || words[0].empty()) return ENOENT;  // no program named
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (std::string& word : words) argv.push_back(&word[0]);
  argv.push_back(nullptr);

  Descriptor readEnd, writeEnd;
  if (output_ == Output::Capture) {
    int fds[2];
    if (pipe(fds) != 0) return errno;
    readEnd.Reset(fds[0]);
    writeEnd.Reset(fds[1]);
    // Neither end belongs in a later child; only the child's own copy of
    // the write end (its standard output and error) may stay open.
    int flags = fcntl(readEnd.get(), F_GETFL);
    if (fcntl(readEnd.get(), F_SETFD, FD_CLOEXEC) != 0 ||
        fcntl(writeEnd.get(), F_SETFD, FD_CLOEXEC) != 0 || flags < 0 ||
        fcntl(readEnd.get(), F_SETFL, flags | O_NONBLOCK) != 0)
      return errno;
  }

  pid_t child = -1;
  ChildSetup setup;
  setup.outputFd = writeEnd.get();
  int rc = StartChild(argv.data(), workingDirectory, setup, child);
  if (rc != 0) return rc;
  // Only the child writes now; kiln's copy would keep the pipe from ending.
  writeEnd.Close();
  pid = static_cast<long>(child);
  readFd = readEnd.Release();

  if (priorityClass != PRIORITY_NORMAL) {
    int nice = NiceValueForPriorityClass(priorityClass);
    errno = 0;
    int own = getpriority(PRIO_PROCESS, 0);
    bool ownKnown = !(own == -1 && errno != 0);
    if (!ownKnown || nice != own) {
      if (setpriority(PRIO_PROCESS, static_cast<id_t>(child), nice) != 0 && errno != ESRCH)
        priorityWarning_ = PriorityFailureText(nice, errno);
    }
  }
  return 0;
}

namespace {

ChildOutcome OutcomeOf(int status) {
  ChildOutcome outcome;
  outcome.started = true;
  if (WIFEXITED(status)) outcome.exitCode = WEXITSTATUS(status);
  else if (WIFSIGNALED(status)) outcome.signal = WTERMSIG(status);
  return outcome;
}

void Announce(const std::function<void(const ChildProcess&)>& started, long pid) {
  if (!started) return;
  ChildProcess child;
  child.processId = pid;
  child.threadId = 0;
  started(child);
}

}  // namespace

ChildOutcome PosixProcessRunner::RunAndWait(
    const std::string& commandLine, const std::string& workingDirectory,
    int /*showType: windows have no meaning here*/, int priorityClass,
    const std::function<void(const ChildProcess&)>& started) {
  ChildOutcome outcome;
  lastOutput_.clear();
  long pid = -1;
  int fd = -1;
  int rc = Spawn(commandLine, workingDirectory, priorityClass, pid, fd);
  if (rc != 0) {
    outcome.error = static_cast<unsigned long>(rc);
    return outcome;
  }
  Descriptor readEnd(fd);
  Announce(started, pid);

  int status = 0;
  if (output_ == Output::Capture) {
    TailBuffer tail(lastOutput_, kCapturedBytes);
    status = CollectUntilExit(static_cast<pid_t>(pid), readEnd.get(), tail);
  } else {
    WaitChild(static_cast<pid_t>(pid), &status, true);
  }
  outcome = OutcomeOf(status);
  outcome.output = lastOutput_;
  return outcome;
}

long PosixProcessRunner::Start(const std::string& commandLine,
                               const std::string& workingDirectory,
                               int /*showType*/, int priorityClass,
                               const std::function<void(const ChildProcess&)>& started,
                               unsigned long& error) {
  Child child;
  int rc = Spawn(commandLine, workingDirectory, priorityClass, child.pid, child.fd);
  if (rc != 0) {
    error = static_cast<unsigned long>(rc);
    return 0;
  }
  child.ticket = ++lastTicket_;
  running_.push_back(std::move(child));
  Announce(started, running_.back().pid);
  return running_.back().ticket;
}

PosixProcessRunner::Ended PosixProcessRunner::Finish(std::size_t index, int status) {
  Child& child = running_[index];
  if (child.fd >= 0) {
    TailBuffer tail(child.output, kCapturedBytes);
    DrainPipe(child.fd, tail);
    tail.Finish();
    close(child.fd);
  }
  Ended ended;
  ended.ticket = child.ticket;
  ended.outcome = OutcomeOf(status);
  ended.outcome.output = child.output;
  lastOutput_ = std::move(child.output);
  running_.erase(running_.begin() + static_cast<std::ptrdiff_t>(index));
  return ended;
}

// Output is read from every child's pipe as it comes, so that none of them
// blocks on a full pipe. A pipe's end is the usual sign that its child has
// ended; the children are also looked at every kCheckInterval, for one whose
// grandchild keeps the pipe open, and, without pipes, waitid tells of the
// first one that ends without reaping it.
PosixProcessRunner::Ended PosixProcessRunner::WaitAny() {
  constexpr auto kCheckInterval = std::chrono::milliseconds(100);
  if (running_.empty()) return Ended();
  auto nextCheck = std::chrono::steady_clock::now() + kCheckInterval;
  for (;;) {
    std::vector<pollfd> fds;
    std::vector<std::size_t> owners;
    for (std::size_t i = 0; i < running_.size(); ++i) {
      if (running_[i].fd < 0) continue;
      if (!running_[i].open) {
        int status = 0;
        WaitChild(static_cast<pid_t>(running_[i].pid), &status, true);
        return Finish(i, status);
      }
      fds.push_back(pollfd{running_[i].fd, POLLIN, 0});
      owners.push_back(i);
    }
    bool look = false;
    if (fds.empty()) {
      siginfo_t info;
      std::memset(&info, 0, sizeof info);
      int rc = waitid(P_ALL, 0, &info, WEXITED | WNOWAIT);
      if (rc != 0 && errno == EINTR) continue;
      look = true;
      if (rc != 0) {
        // No child left to wait for: someone else reaped ours.
        return Finish(0, 0);
      }
    } else {
      int r = poll(fds.data(), fds.size(), static_cast<int>(kCheckInterval.count()));
      if (r > 0) {
        for (std::size_t k = 0; k < fds.size(); ++k) {
          if (!fds[k].revents) continue;
          Child& child = running_[owners[k]];
          TailBuffer tail(child.output, kCapturedBytes);
          child.open = DrainPipe(child.fd, tail);
        }
      } else if (r < 0 && errno != EINTR) {
        for (std::size_t owner : owners) running_[owner].open = false;
      }
      look = std::chrono::steady_clock::now() >= nextCheck;
    }
    if (look) {
      for (std::size_t i = 0; i < running_.size(); ++i) {
        int status = 0;
        if (WaitChild(static_cast<pid_t>(running_[i].pid), &status, false))
          return Finish(i, status);
      }
      nextCheck = std::chrono::steady_clock::now() + kCheckInterval;
      if (fds.empty()) {
        // waitid told of a child that is not ours; give it time to be reaped.
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
    }
  }
}

PosixProcessRunner::~PosixProcessRunner() {
  for (Child& child : running_)
    if (child.fd >= 0) close(child.fd);
}
