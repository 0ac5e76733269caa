// The CreateProcessA runner, started on the system's own command processor.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "deffile/runsettings.h"
#include "run/process_win32.h"

namespace {

ChildOutcome RunChild(const std::string& line, int showType = 1,
                 const std::string& directory = std::string(),
                 ChildProcess* seen = nullptr, int* calls = nullptr) {
  Win32ProcessRunner runner;
  return runner.RunAndWait(line, directory, showType, PRIORITY_NORMAL,
                           [&](const ChildProcess& child) {
                             if (seen) *seen = child;
                             if (calls) ++*calls;
                           });
}

std::string TempDirectory() {
  char buffer[MAX_PATH];
  DWORD length = GetTempPathA(sizeof buffer, buffer);
  return std::string(buffer, length);
}

TEST(Win32ProcessRunner, MissingProgramIsNotStartedWithErrorTwo) {
  int calls = 0;
  ChildOutcome outcome = RunChild("no-such-program-of-fontkiln.exe arg", 1, "", nullptr, &calls);
  EXPECT_FALSE(outcome.started);
  EXPECT_EQ(outcome.error, 2u);
  EXPECT_EQ(calls, 0);
}

TEST(Win32ProcessRunner, ChildExitCodeIsReportedAndStartedIsCalledOnce) {
  for (int showType : {0, 1, 2}) {
    SCOPED_TRACE(showType);
    ChildProcess child;
    int calls = 0;
    ChildOutcome outcome = RunChild("cmd.exe /c exit 3", showType, "", &child, &calls);
    ASSERT_TRUE(outcome.started);
    EXPECT_EQ(outcome.exitCode, 3);
    EXPECT_EQ(calls, 1);
    EXPECT_NE(child.processId, 0);
    EXPECT_NE(child.threadId, 0);
  }
}

TEST(Win32ProcessRunner, UnknownShowTypeStartsNothing) {
  int calls = 0;
  ChildOutcome outcome = RunChild("cmd.exe /c exit 0", 3, "", nullptr, &calls);
  EXPECT_FALSE(outcome.started);
  EXPECT_EQ(calls, 0);
}

// The whole line reaches the child untouched, and the child runs in the
// directory it is given; the wait ends only after the child has written.
TEST(Win32ProcessRunner, ChildRunsInTheGivenDirectoryWithTheWholeLine) {
  std::string directory = TempDirectory();
  std::string name = "kiln-runner-" + std::to_string(GetCurrentProcessId()) + ".txt";
  std::string file = directory + name;
  std::remove(file.c_str());
  ChildOutcome outcome = RunChild("cmd.exe /c echo a  b;c=d> " + name, 1, directory);
  ASSERT_TRUE(outcome.started);
  std::FILE* written = std::fopen(file.c_str(), "rb");
  ASSERT_NE(written, nullptr);
  char text[64] = {};
  std::size_t length = std::fread(text, 1, sizeof text - 1, written);
  std::fclose(written);
  std::remove(file.c_str());
  EXPECT_EQ(std::string(text, length).substr(0, 8), "a  b;c=d");
}

// A line longer than CreateProcessA accepts is refused with an error code,
// not cut or overrun.
TEST(Win32ProcessRunner, OverlongLineIsRefusedWithAnError) {
  ChildOutcome outcome = RunChild("cmd.exe /c rem " + std::string(40000, 'x'));
  EXPECT_FALSE(outcome.started);
  EXPECT_NE(outcome.error, 0u);
}

}  // namespace
