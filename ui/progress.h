// The progress view that the batch writes: a bar and three lines of text.
// Win32: synchronous sends to the progress dialog's controls 1004, 1005,
// 1006 and 1018. Terminal: a redrawn line. Tests: a recorder.
#pragma once

#include <string>

class ProgressView {
 public:
  virtual ~ProgressView() = default;
  virtual void SetRange(int upper) = 0;                       // 0..upper
  virtual void SetPosition(int position) = 0;
  virtual void SetStateLine(const std::string& text) = 0;     // control 1005
  virtual void SetCommandLine(const std::string& text) = 0;   // control 1006
  virtual void SetTimeLine(const std::string& text) = 0;      // control 1018
};

// A view that shows nothing: a listing, or a run whose standard output
// carries an answer of its own.
class NoProgressView : public ProgressView {
 public:
  void SetRange(int) override {}
  void SetPosition(int) override {}
  void SetStateLine(const std::string&) override {}
  void SetCommandLine(const std::string&) override {}
  void SetTimeLine(const std::string&) override {}
};
