#include "ui/term/term_output.h"

#include <unistd.h>

TermOutput::TermOutput(std::FILE* blockStream, bool smart,
                       std::function<int()> width)
    : printer_(blockStream, smart, std::move(width)) {}

void TermOutput::UpdateBlock(const std::vector<std::string>& lines) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (suspended_) {
    pendingBlock_ = lines;
    blockPending_ = true;
    return;
  }
  printer_.SetBlock(lines);
}

void TermOutput::Print(std::FILE* stream, const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (suspended_) {
    held_.emplace_back(stream, text);
    return;
  }
  printer_.PrintAbove(stream, text);
}

void TermOutput::CommitBlock() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (blockPending_ && !suspended_) printer_.SetBlock(pendingBlock_);
  blockPending_ = false;
  printer_.CommitBlock();
}

void TermOutput::ClearBlock() {
  std::lock_guard<std::mutex> lock(mutex_);
  printer_.ClearBlock();
}

void TermOutput::Suspend() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (suspended_++ == 0) printer_.ClearBlock();
}

void TermOutput::WriteDuringQuestion(std::FILE* stream, const std::string& text) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

void TermOutput::Resume() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (suspended_ == 0 || --suspended_ > 0) return;
  for (auto& [stream, text] : held_) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
  }
  held_.clear();
  if (blockPending_) {
    printer_.SetBlock(pendingBlock_);
    blockPending_ = false;
  } else {
    printer_.Redraw();
  }
}

namespace {
std::unique_ptr<TermOutput> output;
}

TermOutput& Output() {
  if (!output)
    output = std::make_unique<TermOutput>(stdout, false, [] { return 80; });
  return *output;
}

void SetOutput(std::unique_ptr<TermOutput> replacement) {
  output = std::move(replacement);
}
