#include "ui/term/term_progress.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>

namespace {

std::string ReadAll(std::FILE* file) {
  std::fflush(file);
  std::rewind(file);
  std::string text;
  int c;
  while ((c = std::fgetc(file)) != EOF) text += static_cast<char>(c);
  return text;
}

// Standard output sent to a temporary file for the test's lifetime.
class StdoutToFile {
 public:
  StdoutToFile() : file_(std::tmpfile()), saved_(dup(STDOUT_FILENO)) {
    std::fflush(stdout);
    dup2(fileno(file_), STDOUT_FILENO);
  }
  ~StdoutToFile() {
    std::fflush(stdout);
    dup2(saved_, STDOUT_FILENO);
    close(saved_);
    std::fclose(file_);
  }
  std::string Text() {
    std::fflush(stdout);
    return ReadAll(file_);
  }

 private:
  std::FILE* file_;
  int saved_;
};

}  // namespace

TEST(FormatBar, FillsInProportion) {
  EXPECT_EQ("[.....] 0/4", FormatBar(0, 4, 11));
  EXPECT_EQ("[##...] 2/4", FormatBar(2, 4, 11));
  EXPECT_EQ("[#####] 4/4", FormatBar(4, 4, 11));
  EXPECT_EQ("[.....] 0/0", FormatBar(0, 0, 11));   // nothing to build
  EXPECT_EQ("[#####] 9/4", FormatBar(9, 4, 11));   // never past full
  EXPECT_EQ("2/4", FormatBar(2, 4, 5));            // too narrow for a bar
  EXPECT_EQ(50u + 2 + 4, FormatBar(1, 3, 200).size());  // at most 50 cells
}

TEST(TailLines, KeepsTheLastLines) {
  EXPECT_EQ("c\nd\n", TailLines("a\nb\nc\nd\n", 2));
  EXPECT_EQ("a\nb\n", TailLines("a\nb", 5));
  EXPECT_EQ("", TailLines("\n\n", 3));
  EXPECT_EQ("only\n", TailLines("only", 1));
}

TEST(TermProgressView, PlainLinesOnlyForUpdatesThatMatter) {
  StdoutToFile out;
  TermOutput output(stdout, false, [] { return 80; });
  TermProgressView view(output, [] { return 80; });
  for (int i = 1; i <= 3; ++i) {  // the counting pass
    view.SetCommandLine("mf count");
    view.SetStateLine("生成するフォントを検索中     " + std::to_string(i));
  }
  view.SetRange(3);
  view.SetStateLine("33%(1/3) 生成中[cm]");
  view.SetCommandLine("mf job1");
  view.SetPosition(1);
  view.SetTimeLine("time 1");
  view.End();
  view.SetStateLine("66%(2/3) 生成中[cm]");  // after the end: nothing
  view.SetCommandLine("mf job2");
  EXPECT_EQ("生成するフォントを検索中     3\n33%(1/3) 生成中[cm] mf job1\ntime 1\n",
            out.Text());
}

TEST(TermProgressView, RedrawsFourLinesInPlace) {
  StdoutToFile out;
  TermOutput output(stdout, true, [] { return 40; });
  TermProgressView view(output, [] { return 40; });
  view.SetRange(2);
  view.SetStateLine("50%(1/2) 生成中[cm]");
  view.SetCommandLine("mf job1");
  view.SetPosition(1);
  std::string text = out.Text();
  // Each redraw goes back three lines and erases every line's end.
  EXPECT_NE(std::string::npos, text.find("\r\x1b[3A"));
  std::string last = text.substr(text.rfind("\r\x1b[3A"));
  // The bar takes the width less the kept column: 39 = 2 + 33 + " 1/2".
  EXPECT_EQ("\r\x1b[3A[################.................] 1/2\x1b[K\n50%(1/2) 生成中[cm]\x1b[K\n"
            "mf job1\x1b[K\n*****\x1b[K",
            last);
}

TEST(TermRunner, FailureContextHoldsTheJobsCapturedOutput) {
  TermOutput output(stdout, false, [] { return 80; });
  TermProgressView view(output, [] { return 80; });
  PosixProcessRunner posix;
  TermRunner runner(posix, view, false);
  EXPECT_EQ(PosixProcessRunner::Output::Capture, posix.output());
  auto none = [](const ChildProcess&) {};

  const std::string first = "sh -c \"echo old job\"";
  view.SetCommandLine(first);
  runner.RunAndWait(first, "", 1, 0x20, none);
  const std::string metafont = "sh -c \"echo one; echo two; exit 3\"";
  view.SetCommandLine(metafont);  // a new job begins: the old output goes
  runner.RunAndWait(metafont, "", 1, 0x20, none);
  runner.RunAndWait("true", "", 1, 0x20, none);
  std::string context = runner.TakeFailureContext();
  EXPECT_EQ("--- " + metafont + " (exit status 3), last lines of its output ---\n"
            "one\ntwo\n--- true (exit status 0): no output ---\n---\n",
            context);
  EXPECT_EQ("", runner.TakeFailureContext());  // shown once
}

// The context said only "signal 11", which a user could not tell from a code.
TEST(TermRunner, RegressionChildKilledBySignalShownOnlyAsANumber) {
  TermOutput output(stdout, false, [] { return 80; });
  TermProgressView view(output, [] { return 80; });
  PosixProcessRunner posix;
  TermRunner runner(posix, view, false);
  const std::string metafont = "sh -c \"kill -SEGV $$\"";
  view.SetCommandLine(metafont);
  runner.RunAndWait(metafont, "", 1, 0x20, [](const ChildProcess&) {});
  EXPECT_EQ("--- " + metafont + " (killed by signal 11, Segmentation fault): no output ---\n---\n",
            runner.TakeFailureContext());
}

// Two jobs side by side, each in its own directory: the failed one's
// context holds its programs' output only, never the other job's.
TEST(TermRunner, FailureContextOfOneOfTwoJobsRunningSideBySide) {
  TermOutput output(stdout, false, [] { return 80; });
  TermProgressView view(output, [] { return 80; });
  PosixProcessRunner posix;
  TermRunner runner(posix, view, false);
  unsigned long error = 0;
  const std::string good = "sh -c \"echo good job\"";
  const std::string bad = "sh -c \"sleep 0.2; echo bad job; exit 1\"";
  runner.Start(bad, "/tmp", 1, 0x20, nullptr, error);
  runner.Start(good, "/", 1, 0x20, nullptr, error);
  runner.WaitAny();  // the good one
  runner.ForgetDirectory("/");
  runner.WaitAny();
  EXPECT_EQ("--- " + bad + " (exit status 1), last lines of its output ---\nbad job\n---\n",
            runner.TakeFailureContext());
}
