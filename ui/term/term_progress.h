// The progress view on a terminal: the bar, the state line, the command
// line and the time line as a block redrawn in place; on a stream that
// cannot redraw, plain lines, one for each job begun and each job done.
// TermRunner runs the children for the batch: in the simple view their
// output is captured so that it does not disturb the display, and shown
// when a font fails; in the detailed view it goes to the terminal as it
// comes, and the block gets out of its way.
#pragma once

#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "run/process_posix.h"
#include "ui/progress.h"
#include "ui/term/term_output.h"
#include "ui/text.h"

// "[#####.....] 5/20" in at most columns columns.
std::string FormatBar(int position, int range, int columns);
// The last lines of text (at most maxLines), ending in a line break.
std::string TailLines(const std::string& text, int maxLines);

class TermProgressView : public ProgressView {
 public:
  TermProgressView(TermOutput& output, std::function<int()> width);

  void SetRange(int upper) override;
  void SetPosition(int position) override;
  void SetStateLine(const std::string& text) override;
  void SetCommandLine(const std::string& text) override;
  void SetTimeLine(const std::string& text) override;

  // The view has ended (stop or the master's close): what it shows stays
  // on the screen and later writes change nothing.
  void End();
  bool ended();
  std::string commandLine();
  // Detailed view: a child is about to write to the terminal / has ended.
  void BeforeChild(const std::string& commandLine);
  void AfterChild();
  std::vector<std::string> BlockLines();

 private:
  void Draw(bool force);  // with mutex_ held
  void PrintPlain(const std::string& line);

  TermOutput& output_;
  std::function<int()> width_;
  std::mutex mutex_;
  bool ended_ = false;
  bool counting_ = true;
  int range_ = 0;
  int position_ = 0;
  std::string state_ = TR("生成済みフォントの情報");
  std::string command_ = TR("コマンドラインイメージ");
  std::string time_ = "*****";
  long long lastDraw_ = 0;
};

class TermRunner : public ProcessRunner {
 public:
  TermRunner(PosixProcessRunner& inner, TermProgressView& view, bool detailed);
  ChildOutcome RunAndWait(
      const std::string& commandLine, const std::string& workingDirectory,
      int showType, int priorityClass,
      const std::function<void(const ChildProcess&)>& started) override;
  long Start(const std::string& commandLine, const std::string& workingDirectory,
             int showType, int priorityClass,
             const std::function<void(const ChildProcess&)>& started,
             unsigned long& error) override;
  Ended WaitAny() override;
  void ForgetDirectory(const std::string& workingDirectory) override;
  // The captured output of the programs of the job whose program ended
  // last, not shown yet, for the message that reports the failed font;
  // empty when there is none. Jobs that run side by side work in
  // directories of their own, so one job's output is never mixed with
  // another's.
  std::string TakeFailureContext();

 private:
  struct Captured {
    std::string commandLine;
    std::string output;
    ChildOutcome outcome;
  };
  PosixProcessRunner& inner_;
  TermProgressView& view_;
  bool detailed_;
  void Record(const std::string& workingDirectory, Captured captured);
  void TellPriorityWarning();

  bool priorityTold_ = false;
  std::mutex mutex_;
  // By working directory: the programs of the job that runs there.
  std::map<std::string, std::vector<Captured>> jobs_;
  std::map<long, std::pair<std::string, std::string>> started_;  // command, directory
  std::string lastDirectory_;
};
