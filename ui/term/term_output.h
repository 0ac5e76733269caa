// One place through which everything the terminal program shows passes, so
// that the progress block, log lines, messages and questions from two
// threads never cut into each other. The progress block lives on standard
// output; messages and log lines go to standard error above it.
#pragma once

#include <cstdio>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ui/term/line_printer.h"

class TermOutput {
 public:
  TermOutput(std::FILE* blockStream, bool smart, std::function<int()> width);

  bool smart() const { return printer_.smart(); }
  // Draws the progress block (held back while a question is open).
  void UpdateBlock(const std::vector<std::string>& lines);
  // Writes text above the block (kept back while a question is open).
  void Print(std::FILE* stream, const std::string& text);
  // Leaves the block on the screen as it stands.
  void CommitBlock();
  // Erases the block; the next UpdateBlock draws it again.
  void ClearBlock();
  // Around a question: the block is erased and nothing else is written
  // until Resume, which writes what was kept back and redraws the block.
  // WriteDuringQuestion is for the question's own text.
  void Suspend();
  void WriteDuringQuestion(std::FILE* stream, const std::string& text);
  void Resume();

 private:
  std::mutex mutex_;
  LinePrinter printer_;
  int suspended_ = 0;
  bool blockPending_ = false;
  std::vector<std::string> pendingBlock_;
  std::vector<std::pair<std::FILE*, std::string>> held_;
};

// The process-wide output, set up by main.
TermOutput& Output();
void SetOutput(std::unique_ptr<TermOutput> output);
