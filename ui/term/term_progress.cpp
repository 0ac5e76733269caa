#include "ui/term/term_progress.h"

#include <chrono>
#include <cstdio>
#include <cstring>

#include "ui/log.h"

namespace {
// During the counting pass the block would otherwise be redrawn for every
// font counted.
constexpr long long kCountingRedrawMs = 40;
constexpr int kFailureTailLines = 20;

long long NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
}  // namespace

std::string FormatBar(int position, int range, int columns) {
  std::string count = " " + std::to_string(position) + "/" + std::to_string(range);
  int inner = columns - 2 - static_cast<int>(count.size());
  if (inner > 50) inner = 50;
  if (inner < 1) return count.substr(1);
  int filled = 0;
  if (range > 0 && position > 0)
    filled = position >= range ? inner
                               : static_cast<int>(static_cast<long long>(inner) *
                                                  position / range);
  return "[" + std::string(static_cast<std::size_t>(filled), '#') +
         std::string(static_cast<std::size_t>(inner - filled), '.') + "]" + count;
}

std::string TailLines(const std::string& text, int maxLines) {
  std::string body = text;
  while (!body.empty() && (body.back() == '\n' || body.back() == '\r'))
    body.pop_back();
  if (body.empty()) return std::string();
  std::size_t start = body.size();
  int lines = 0;
  while (start > 0) {
    std::size_t nl = body.rfind('\n', start - 1);
    ++lines;
    if (nl == std::string::npos) { start = 0; break; }
    if (lines == maxLines) { start = nl + 1; break; }
    start = nl;
  }
  return body.substr(start) + "\n";
}

TermProgressView::TermProgressView(TermOutput& output, std::function<int()> width)
    : output_(output), width_(std::move(width)) {}

std::vector<std::string> TermProgressView::BlockLines() {
  return {FormatBar(position_, range_, width_() - 1), state_, command_, time_};
}

void TermProgressView::Draw(bool force) {
  if (ended_ || !output_.smart()) return;
  long long now = NowMs();
  if (!force && counting_ && now - lastDraw_ < kCountingRedrawMs) return;
  lastDraw_ = now;
  output_.UpdateBlock(BlockLines());
}

void TermProgressView::PrintPlain(const std::string& line) {
  if (ended_ || output_.smart()) return;
  output_.Print(stdout, line + "\n");
}

void TermProgressView::SetRange(int upper) {
  std::lock_guard<std::mutex> lock(mutex_);
  counting_ = false;
  range_ = upper;
  PrintPlain(state_);  // the count found by the counting pass
  Draw(true);
}

void TermProgressView::SetPosition(int position) {
  std::lock_guard<std::mutex> lock(mutex_);
  position_ = position;
  Draw(true);
}

void TermProgressView::SetStateLine(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  state_ = text;
  Draw(false);
}

void TermProgressView::SetCommandLine(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  command_ = text;
  // The batch sets the state line just before the command of a job.
  if (!counting_) PrintPlain(command_.empty() ? state_ : state_ + " " + command_);
  Draw(!counting_);
}

void TermProgressView::SetTimeLine(const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  time_ = text;
  PrintPlain(time_);
  Draw(true);
}

void TermProgressView::End() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (ended_) return;
  ended_ = true;
  output_.CommitBlock();
}

bool TermProgressView::ended() {
  std::lock_guard<std::mutex> lock(mutex_);
  return ended_;
}

std::string TermProgressView::commandLine() {
  std::lock_guard<std::mutex> lock(mutex_);
  return command_;
}

void TermProgressView::BeforeChild(const std::string& commandLine) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (ended_ || !output_.smart()) return;
  // The block makes room for the child's output; the command stays as a
  // heading of what follows.
  output_.ClearBlock();
  output_.Print(stdout, "$ " + commandLine + "\n");
}

void TermProgressView::AfterChild() {
  std::lock_guard<std::mutex> lock(mutex_);
  Draw(true);
}

TermRunner::TermRunner(PosixProcessRunner& inner, TermProgressView& view,
                       bool detailed)
    : inner_(inner), view_(view), detailed_(detailed) {
  inner_.SetOutput(detailed ? PosixProcessRunner::Output::Inherit
                            : PosixProcessRunner::Output::Capture);
}

void TermRunner::Record(const std::string& workingDirectory, Captured captured) {
  std::lock_guard<std::mutex> lock(mutex_);
  lastDirectory_ = workingDirectory;
  jobs_[workingDirectory].push_back(std::move(captured));
}

void TermRunner::TellPriorityWarning() {
  if (!priorityTold_ && !inner_.PriorityWarning().empty()) {
    priorityTold_ = true;
    Output().Print(stderr, "kiln: " + inner_.PriorityWarning() + "\n");
  }
}

ChildOutcome TermRunner::RunAndWait(
    const std::string& commandLine, const std::string& workingDirectory,
    int showType, int priorityClass,
    const std::function<void(const ChildProcess&)>& started) {
  if (detailed_) view_.BeforeChild(commandLine);
  std::fflush(stdout);
  std::fflush(stderr);
  ChildOutcome outcome = inner_.RunAndWait(commandLine, workingDirectory,
                                           showType, priorityClass, started);
  if (detailed_) view_.AfterChild();
  {
    std::lock_guard<std::mutex> lock(mutex_);
    // The batch shows a job's METAFONT line in the view before running it;
    // that line starting again means a new job.
    if (commandLine == view_.commandLine()) jobs_[workingDirectory].clear();
  }
  Record(workingDirectory,
         {commandLine, detailed_ ? std::string() : inner_.LastOutput(), outcome});
  TellPriorityWarning();
  return outcome;
}

long TermRunner::Start(const std::string& commandLine,
                       const std::string& workingDirectory, int showType,
                       int priorityClass,
                       const std::function<void(const ChildProcess&)>& started,
                       unsigned long& error) {
  if (detailed_) view_.BeforeChild(commandLine);
  std::fflush(stdout);
  std::fflush(stderr);
  long ticket = inner_.Start(commandLine, workingDirectory, showType, priorityClass,
                             started, error);
  if (detailed_) view_.AfterChild();
  if (ticket != 0) {
    std::lock_guard<std::mutex> lock(mutex_);
    started_[ticket] = {commandLine, workingDirectory};
  }
  TellPriorityWarning();
  return ticket;
}

ProcessRunner::Ended TermRunner::WaitAny() {
  Ended ended = inner_.WaitAny();
  std::pair<std::string, std::string> child;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto found = started_.find(ended.ticket);
    if (found == started_.end()) return ended;
    child = found->second;
    started_.erase(found);
  }
  Record(child.second,
         {child.first, detailed_ ? std::string() : inner_.LastOutput(), ended.outcome});
  return ended;
}

void TermRunner::ForgetDirectory(const std::string& workingDirectory) {
  std::lock_guard<std::mutex> lock(mutex_);
  jobs_.erase(workingDirectory);
}

std::string TermRunner::TakeFailureContext() {
  std::lock_guard<std::mutex> lock(mutex_);
  std::string text;
  auto job = jobs_.find(lastDirectory_);
  if (job == jobs_.end()) return text;
  for (const Captured& child : job->second) {
    if (!child.outcome.started) continue;
    std::string status =
        child.outcome.signal ? StringPrintf(TR("killed by signal %d, %s"), child.outcome.signal,
                                            strsignal(child.outcome.signal))
                             : StringPrintf(TR("exit status %d"), child.outcome.exitCode);
    std::string tail = TailLines(child.output, kFailureTailLines);
    text += tail.empty()
                ? StringPrintf(TR("--- %s (%s): no output ---\n"), child.commandLine.c_str(),
                               status.c_str())
                : StringPrintf(TR("--- %s (%s), last lines of its output ---\n"),
                               child.commandLine.c_str(), status.c_str()) +
                      tail;
  }
  job->second.clear();
  if (!text.empty()) text += "---\n";
  return text;
}
