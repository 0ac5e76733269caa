#include "run/process_posix.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include "deffile/runsettings.h"
#include "support/fakes.h"

namespace {

ChildOutcome Spawn(PosixProcessRunner& runner, const std::string& command,
                 const std::string& directory = std::string(),
                 int priority = PRIORITY_NORMAL,
                 const std::function<void(const ChildProcess&)>& started = nullptr) {
  return runner.RunAndWait(command, directory, 1, priority, started);
}

ChildOutcome Capture(PosixProcessRunner& runner, const std::string& command,
                     const std::string& directory = std::string()) {
  runner.SetOutput(PosixProcessRunner::Output::Capture);
  return Spawn(runner, command, directory);
}

bool HaveCapability(int capability) {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[2] = {};
  if (syscall(SYS_capget, &header, data) != 0) return false;
  return (data[capability / 32].effective & (1u << (capability % 32))) != 0;
}

bool DropCapability(int capability) {
  __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[2] = {};
  if (syscall(SYS_capget, &header, data) != 0) return false;
  data[capability / 32].effective &= ~(1u << (capability % 32));
  return syscall(SYS_capset, &header, data) == 0;
}

// Runs in a death-test child: tells the warning on stderr, exits 0 when the
// child still ran.
void RunRealtimeWithoutPrivilege() {
  rlimit none{0, 0};
  setrlimit(RLIMIT_NICE, &none);
  if (!DropCapability(CAP_SYS_NICE)) std::_Exit(3);
  PosixProcessRunner runner;
  ChildOutcome outcome = runner.RunAndWait("true", "", 1, PRIORITY_REALTIME, nullptr);
  std::fprintf(stderr, "%s\n", runner.PriorityWarning().c_str());
  std::_Exit(outcome.started && outcome.exitCode == 0 ? 0 : 1);
}

}  // namespace

TEST(PosixRunnerStart, MissingProgramIsAStartFailureWithEnoent) {
  PosixProcessRunner runner;
  bool called = false;
  ChildOutcome outcome = Spawn(runner, "kiln-no-such-program-here arg", "", PRIORITY_NORMAL,
                             [&](const ChildProcess&) { called = true; });
  EXPECT_FALSE(outcome.started);
  EXPECT_EQ(static_cast<unsigned long>(ENOENT), outcome.error);
  EXPECT_FALSE(called);
}

TEST(PosixRunnerStart, EmptyCommandLineStartsNothing) {
  PosixProcessRunner runner;
  for (const char* line : {"", "   ", "\"\""}) {
    ChildOutcome outcome = Spawn(runner, line);
    EXPECT_FALSE(outcome.started) << "[" << line << "]";
    EXPECT_EQ(static_cast<unsigned long>(ENOENT), outcome.error) << "[" << line << "]";
  }
}

TEST(PosixRunnerStart, MissingWorkingDirectoryIsAStartFailure) {
  PosixProcessRunner runner;
  ChildOutcome outcome = Spawn(runner, "true", "/nonexistent/kiln-dir");
  EXPECT_FALSE(outcome.started);
  EXPECT_EQ(static_cast<unsigned long>(ENOENT), outcome.error);
}

TEST(PosixRunnerStart, ReportsPidAndNoThreadBeforeTheWait) {
  PosixProcessRunner runner;
  ChildProcess seen;
  int calls = 0;
  bool runningWhenCalled = false;
  ChildOutcome outcome = Spawn(runner, "sleep 0.1", "", PRIORITY_NORMAL,
                             [&](const ChildProcess& child) {
                               ++calls;
                               seen = child;
                               runningWhenCalled = kill(static_cast<pid_t>(child.processId), 0) == 0;
                             });
  EXPECT_TRUE(outcome.started);
  EXPECT_EQ(1, calls);
  EXPECT_GT(seen.processId, 0);
  EXPECT_EQ(0, seen.threadId);
  EXPECT_TRUE(runningWhenCalled);
}

TEST(PosixRunnerOutcome, ExitCodesAndSignals) {
  struct Case {
    const char* command;
    int exitCode;
    int signal;
  } cases[] = {
      {"true", 0, 0},
      {"false", 1, 0},
      {"sh -c \"exit 3\"", 3, 0},
      {"sh -c \"exit 127\"", 127, 0},
      {"sh -c \"kill -TERM $$\"", 0, SIGTERM},
      {"sh -c \"kill -KILL $$\"", 0, SIGKILL},
  };
  PosixProcessRunner runner;
  for (const Case& c : cases) {
    ChildOutcome outcome = Spawn(runner, c.command);
    EXPECT_TRUE(outcome.started) << c.command;
    EXPECT_EQ(c.exitCode, outcome.exitCode) << c.command;
    EXPECT_EQ(c.signal, outcome.signal) << c.command;
  }
}

TEST(PosixRunnerOutcome, ArgumentsReachTheChildWithoutAShell) {
  PosixProcessRunner runner;
  // A shell would expand $HOME and the glob, and treat ; as a separator.
  ASSERT_TRUE(Capture(runner, "printf [%s] \"a b\" $HOME * x;y").started);
  EXPECT_EQ("[a b][$HOME][*][x;y]", runner.LastOutput());
}

// The suite's own standard input is replaced by a pipe that never ends (its
// writing end stays open), so a child that inherited it would wait there:
// "timeout" then ends it with 124 instead of the test hanging.
TEST(PosixRunnerEnvironment, StandardInputIsDevNull) {
  int ends[2];
  ASSERT_EQ(0, pipe(ends));
  const int savedInput = dup(0);
  ASSERT_GE(savedInput, 0);
  ASSERT_EQ(0, dup2(ends[0], 0));
  PosixProcessRunner runner;
  ChildOutcome link = Capture(runner, "readlink /proc/self/fd/0");
  std::string linkOutput = runner.LastOutput();
  ChildOutcome reader = Capture(runner, "timeout 5 cat");
  std::string readerOutput = runner.LastOutput();
  dup2(savedInput, 0);
  close(savedInput);
  close(ends[0]);
  close(ends[1]);

  ASSERT_TRUE(link.started);
  EXPECT_EQ("/dev/null\n", linkOutput);
  // A child that reads its input ends at once instead of waiting.
  EXPECT_TRUE(reader.started);
  EXPECT_EQ(0, reader.exitCode);
  EXPECT_EQ("", readerOutput);
}

TEST(PosixRunnerEnvironment, ChildLeadsItsOwnProcessGroup) {
  PosixProcessRunner runner;
  pid_t group = -1;
  pid_t child = 0;
  ChildOutcome outcome = Spawn(runner, "sleep 0.1", "", PRIORITY_NORMAL,
                             [&](const ChildProcess& c) {
                               child = static_cast<pid_t>(c.processId);
                               group = getpgid(child);
                             });
  ASSERT_TRUE(outcome.started);
  EXPECT_EQ(child, group);
  EXPECT_NE(getpgrp(), group);
}

TEST(PosixRunnerEnvironment, RunsInTheWorkingDirectory) {
  ScratchDirectory scratch;
  ASSERT_EQ(0, mkdir("sub", 0777));
  PosixProcessRunner runner;
  ASSERT_EQ(0, Spawn(runner, "touch made-here", "sub").exitCode);
  EXPECT_EQ(0, access("sub/made-here", F_OK));
  ASSERT_EQ(0, Spawn(runner, "touch made-in-current").exitCode);
  EXPECT_EQ(0, access("made-in-current", F_OK));
  // kiln's own current directory is left alone.
  char here[4096];
  ASSERT_NE(nullptr, getcwd(here, sizeof here));
  EXPECT_EQ(scratch.path(), here);
}

TEST(PosixRunnerEnvironment, BlockedAndIgnoredSignalsAreNotPassedOn) {
  // kiln blocks or ignores signals while it runs a batch; the child must
  // still die of them.
  sigset_t block, saved;
  sigemptyset(&block);
  sigaddset(&block, SIGTERM);
  ASSERT_EQ(0, pthread_sigmask(SIG_BLOCK, &block, &saved));
  struct sigaction ignore {}, savedHup {};
  ignore.sa_handler = SIG_IGN;
  ASSERT_EQ(0, sigaction(SIGHUP, &ignore, &savedHup));

  PosixProcessRunner runner;
  ChildOutcome term = Spawn(runner, "sh -c \"kill -TERM $$; exit 9\"");
  ChildOutcome hangup = Spawn(runner, "sh -c \"kill -HUP $$; exit 9\"");

  sigaction(SIGHUP, &savedHup, nullptr);
  pthread_sigmask(SIG_SETMASK, &saved, nullptr);
  EXPECT_EQ(SIGTERM, term.signal);
  EXPECT_EQ(SIGHUP, hangup.signal);
}

TEST(PosixRunnerEnvironment, CtrlCDuringTheSpawnDoesNotKillTheChild) {
  // Regression: a Ctrl-C sent to kiln's process group while the child had not
  // yet moved to its own group stayed pending and killed METAFONT once its
  // mask was lifted. The terminal's signals stay blocked in the child.
  PosixProcessRunner runner;
  ChildOutcome interrupt = Spawn(runner, "sh -c \"kill -INT $$; kill -QUIT $$; exit 9\"");
  EXPECT_EQ(0, interrupt.signal);
  EXPECT_EQ(9, interrupt.exitCode);
}

TEST(PosixRunnerEnvironment, KilnDescriptorsAreNotInherited) {
  int fd = open("/dev/null", O_RDONLY);  // no O_CLOEXEC, as fopen gives
  ASSERT_GE(fd, 0);
  const int high = 57;
  ASSERT_EQ(high, dup2(fd, high));
  PosixProcessRunner runner;
  ChildOutcome outcome = Capture(runner, "test -e /proc/self/fd/57");
  close(high);
  close(fd);
  ASSERT_TRUE(outcome.started);
  EXPECT_EQ(1, outcome.exitCode) << "descriptor 57 reached the child";
}

TEST(PosixRunnerCapture, StdoutAndStderrTogether) {
  PosixProcessRunner runner;
  ASSERT_TRUE(Capture(runner, "sh -c \"echo out; echo err >&2; echo out2\"").started);
  EXPECT_EQ("out\nerr\nout2\n", runner.LastOutput());
}

TEST(PosixRunnerCapture, KeepsTheTailOfAChattyChildWithoutDeadlock) {
  // Far more than a pipe holds: the runner must read while it waits.
  PosixProcessRunner runner;
  ChildOutcome outcome = Capture(
      runner, "sh -c \"i=0; while [ $i -lt 30000 ]; do echo line$i; i=$((i+1)); done\"");
  ASSERT_TRUE(outcome.started);
  EXPECT_EQ(0, outcome.exitCode);
  const std::string& text = runner.LastOutput();
  EXPECT_EQ(PosixProcessRunner::kCapturedBytes, text.size());
  const std::string last = "line29999\n";
  ASSERT_GE(text.size(), last.size());
  EXPECT_EQ(last, text.substr(text.size() - last.size()));
}

TEST(PosixRunnerCapture, NextRunStartsEmpty) {
  PosixProcessRunner runner;
  Capture(runner, "echo first");
  EXPECT_EQ("first\n", runner.LastOutput());
  Capture(runner, "kiln-no-such-program-here");
  EXPECT_EQ("", runner.LastOutput());
}

TEST(PosixRunnerCapture, LingeringGrandchildDoesNotHoldTheWait) {
  // The grandchild keeps the pipe open for 5 s; the child itself ends at once.
  PosixProcessRunner runner;
  auto begin = std::chrono::steady_clock::now();
  ChildOutcome outcome = Capture(runner, "sh -c \"sleep 5 & echo parent-done\"");
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  ASSERT_TRUE(outcome.started);
  EXPECT_LT(seconds, 3.0);
  EXPECT_EQ("parent-done\n", runner.LastOutput());
}

TEST(PosixRunnerCapture, InheritCapturesNothing) {
  PosixProcessRunner runner;
  EXPECT_EQ(PosixProcessRunner::Output::Inherit, runner.output());
  ASSERT_TRUE(Spawn(runner, "true").started);
  EXPECT_EQ("", runner.LastOutput());
}

TEST(PosixRunnerPriority, NiceValueForEachClass) {
  struct Case {
    int priorityClass;
    int nice;
  } cases[] = {
      {PRIORITY_IDLE, 19}, {PRIORITY_NORMAL, 0}, {PRIORITY_HIGH, -5}, {PRIORITY_REALTIME, -20},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.nice, NiceValueForPriorityClass(c.priorityClass)) << c.priorityClass;
}

TEST(PosixRunnerPriority, ChildGetsTheClassNiceValue) {
  errno = 0;
  const int own = getpriority(PRIO_PROCESS, 0);
  ASSERT_EQ(0, errno);
  struct Case {
    int priorityClass;
    int expected;
    bool needsPrivilege;
  } cases[] = {
      {PRIORITY_NORMAL, own, false},
      {PRIORITY_IDLE, 19, false},
      {PRIORITY_HIGH, -5, true},
      {PRIORITY_REALTIME, -20, true},
  };
  const bool privileged = HaveCapability(CAP_SYS_NICE);
  for (const Case& c : cases) {
    if (c.needsPrivilege && !privileged) continue;
    PosixProcessRunner runner;
    int childNice = 1000;
    ChildOutcome outcome = Spawn(runner, "sleep 0.1", "", c.priorityClass,
                               [&](const ChildProcess& child) {
                                 errno = 0;
                                 childNice = getpriority(PRIO_PROCESS, static_cast<id_t>(child.processId));
                               });
    ASSERT_TRUE(outcome.started);
    EXPECT_EQ(c.expected, childNice) << c.priorityClass;
    EXPECT_EQ("", runner.PriorityWarning()) << c.priorityClass;
  }
  // The class applies to the child only.
  EXPECT_EQ(own, getpriority(PRIO_PROCESS, 0));
}

TEST(PosixRunnerPriorityDeathTest, UnattainableNiceValueGivesAWarningAndStillRuns) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  // Without CAP_SYS_NICE (and with RLIMIT_NICE at 0) a negative nice value
  // cannot be had, as for any ordinary user.
  EXPECT_EXIT(RunRealtimeWithoutPrivilege(),
      ::testing::ExitedWithCode(0),
      "Cannot set nice value -20 for METAFONT and gftopk \\(Permission denied\\); "
      "they run at kiln's own priority\\.");
}

// Children side by side: WaitAny hands back whichever ends first, with its
// own output, whether the output is captured (pipes) or not (waitid).
TEST(PosixRunnerWaitAny, FirstToEndComesFirstWithItsOwnOutput) {
  for (auto mode : {PosixProcessRunner::Output::Capture, PosixProcessRunner::Output::Inherit}) {
    PosixProcessRunner runner;
    runner.SetOutput(mode);
    unsigned long error = 0;
    long slow = runner.Start("sh -c \"sleep 0.4; echo slow\"", "", 1, PRIORITY_NORMAL,
                             nullptr, error);
    long fast = runner.Start("sh -c \"echo fast; exit 4\"", "", 1, PRIORITY_NORMAL,
                             nullptr, error);
    ASSERT_GT(slow, 0);
    ASSERT_GT(fast, 0);
    ASSERT_NE(slow, fast);
    auto begun = std::chrono::steady_clock::now();
    ProcessRunner::Ended first = runner.WaitAny();
    EXPECT_LT(std::chrono::steady_clock::now() - begun, std::chrono::milliseconds(300));
    EXPECT_EQ(fast, first.ticket);
    EXPECT_EQ(4, first.outcome.exitCode);
    bool captured = mode == PosixProcessRunner::Output::Capture;
    if (captured) {
      EXPECT_EQ("fast\n", runner.LastOutput());
    }
    ProcessRunner::Ended second = runner.WaitAny();
    EXPECT_EQ(slow, second.ticket);
    EXPECT_EQ(0, second.outcome.exitCode);
    if (captured) {
      EXPECT_EQ("slow\n", runner.LastOutput());
    }
  }
}
