#include "run/process.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fakes.h"

namespace {

struct RunCall {
  std::string commandLine;
  std::string workingDirectory;
  int showType;
  int priorityClass;
};

// Answers every run with a prepared outcome.
class FakeRunner : public ProcessRunner {
 public:
  ChildOutcome RunAndWait(const std::string& commandLine,
                          const std::string& workingDirectory, int showType,
                          int priorityClass,
                          const std::function<void(const ChildProcess&)>& started) override {
    calls.push_back({commandLine, workingDirectory, showType, priorityClass});
    if (outcome.started) started(child);
    return outcome;
  }
  ChildOutcome outcome;
  ChildProcess child;
  std::vector<RunCall> calls;
};

using Texts = std::vector<std::string>;

const char* const kCommand = "mf \\mode=nexthi; nonstopmode; mag=1; input cmr10";

TEST(ExecProcess, RunsAndLogsTheChild) {
  RecordingLog log;
  ScriptedDialogue dialogue;
  FakeRunner runner;
  runner.outcome.started = true;
  runner.child = {4321, 8765};
  EXPECT_EQ(1, ExecProcess(runner, kCommand, 1, 0x40));
  ASSERT_EQ(1u, runner.calls.size());
  EXPECT_EQ(kCommand, runner.calls[0].commandLine);
  EXPECT_EQ("", runner.calls[0].workingDirectory);
  EXPECT_EQ(1, runner.calls[0].showType);
  EXPECT_EQ(0x40, runner.calls[0].priorityClass);
  EXPECT_EQ((Texts{std::string("Exec: ") + kCommand, "ProcessID 4321, ThreadID 8765"}),
            log.Texts());
  EXPECT_TRUE(dialogue.boxes.empty());
}

TEST(ExecProcess, WrongShowTypeStartsNothing) {
  for (int showType : {3, -1}) {
    RecordingLog log;
    ScriptedDialogue dialogue;
    FakeRunner runner;
    runner.outcome.started = true;
    EXPECT_EQ(0, ExecProcess(runner, kCommand, showType, 0x20));
    EXPECT_TRUE(runner.calls.empty());
    EXPECT_TRUE(log.lines.empty());
    ASSERT_EQ(1u, dialogue.boxes.size());
    EXPECT_EQ(
        "ExecProcess 関数の第三パラメータに誤りがあります。\n完全なソフトウエアバグです。",
        dialogue.boxes[0].text);
    EXPECT_EQ("CreateProcess", dialogue.boxes[0].title);
    EXPECT_EQ(BOX_SETFOREGROUND | BOX_ICONERROR, dialogue.boxes[0].flags);
  }
}

struct StartFailure {
  unsigned long error;
  const char* codes;
};

class ExecProcessStartFailure : public testing::TestWithParam<StartFailure> {};

TEST_P(ExecProcessStartFailure, ShowsTheErrorInBothBases) {
  RecordingLog log;
  ScriptedDialogue dialogue;
  FakeRunner runner;
  runner.outcome.started = false;
  runner.outcome.error = GetParam().error;
  EXPECT_EQ(0, ExecProcess(runner, "nosuchprogram x", 2, 0x20));
  ASSERT_EQ(1u, dialogue.boxes.size());
  EXPECT_EQ(std::string("[nosuchprogram x] は\nError ") + GetParam().codes +
                " の為起動出来ません。",
            dialogue.boxes[0].text);
  EXPECT_EQ("CreateProcess", dialogue.boxes[0].title);
  EXPECT_EQ(BOX_SETFOREGROUND | BOX_ICONERROR, dialogue.boxes[0].flags);
  EXPECT_EQ(Texts{"Exec: nosuchprogram x"}, log.Texts());
}

INSTANTIATE_TEST_SUITE_P(ExecProcess, ExecProcessStartFailure,
                         testing::Values(StartFailure{2, "2(2)"},
                                         StartFailure{193, "193(c1)"}));

TEST(ExecProcess, FailedChildStillCountsAsRun) {
  RecordingLog log;
  ScriptedDialogue dialogue;
  FakeRunner runner;
  runner.outcome.started = true;
  runner.outcome.exitCode = 1;
  EXPECT_EQ(1, ExecProcess(runner, kCommand, 1, 0x20));
  ASSERT_EQ(3u, log.lines.size());
  EXPECT_EQ(LOG_WARNING, log.lines[2].kind);
  EXPECT_EQ("Child ended with exit code 1 (0x1)", log.lines[2].text);

  runner.outcome.exitCode = 0;
  runner.outcome.signal = 9;
  EXPECT_EQ(1, ExecProcess(runner, kCommand, 0, 0x20));
  EXPECT_EQ(LOG_WARNING, log.lines.back().kind);
  EXPECT_EQ("Child ended by signal 9", log.lines.back().text);
  EXPECT_TRUE(dialogue.boxes.empty());
}

}  // namespace
