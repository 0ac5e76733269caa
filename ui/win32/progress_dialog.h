// The progress thread and its dialog (105), and the view through which the
// master thread writes the dialog's controls with synchronous sends.
#pragma once

#include <windows.h>

#include "ui/progress.h"

// The thread's start routine: runs the dialog, publishing progressDialog
// while it initialises, then the hand-shake epilogue. Exit code 0.
DWORD WINAPI ProgressThreadMain(LPVOID parameter);

// Writes go to the dialog that progressDialog names, as synchronous sends
// that its thread answers. Before the dialog exists and once it has ended
// (terminateRequest) they are dropped.
class DialogProgressView : public ProgressView {
 public:
  void SetRange(int upper) override;
  void SetPosition(int position) override;
  void SetStateLine(const std::string& text) override;
  void SetCommandLine(const std::string& text) override;
  void SetTimeLine(const std::string& text) override;
};
