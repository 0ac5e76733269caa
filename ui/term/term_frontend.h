// The terminal program's side of the run sequence: the definition file
// through the key file (with a prompt for its path in place of the install
// dialog), the settings (automatic, or the settings screen), and the
// progress thread, which here owns no window: it shows the progress view
// and hears of SIGINT and SIGTERM from a small signal thread. Ctrl-C on a
// terminal asks before it stops the batch; SIGTERM, or SIGINT without a
// terminal, stops it at once. Either way the font being built is finished
// and filed first.
#pragma once

#include <signal.h>

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "install/keystore.h"
#include "install/locate.h"
#include "run/process_posix.h"
#include "run/sequence.h"
#include "ui/term/documents.h"
#include "ui/term/options.h"
#include "ui/term/term_dialogue.h"
#include "ui/term/term_progress.h"

// The install dialog on a terminal: the path is typed at a prompt.
class TermInstallPrompt : public InstallPrompt {
 public:
  explicit TermInstallPrompt(KeyStore& keys) : keys_(keys) {}
  int RunInstallDialog() override;

 private:
  KeyStore& keys_;
};

class TermFrontEnd : public RunFrontEnd {
 public:
  TermFrontEnd(const TermOptions& options, KeyStore& keys, TermDialogue& dialogue);
  ~TermFrontEnd() override;

  int LocateDefinitionFile(std::string& path) override;
  int ShowSettingsDialog() override;
  bool StartProgressThread() override;
  bool ProgressThreadEnded() override;
  void BringProgressToFront() override {}
  void CloseProgressView() override;
  void JoinProgressThread() override;
  ProgressView& Progress() override { return view_; }
  ProcessRunner& Runner() override { return runner_; }
  int Workers() override;
  bool WaitForBusyDirectory(const std::string& directory) override;
  std::string SummaryText(const RunSummary& run) override;
  BatchRules Rules() override;
  bool WarnsOfIgnoredArguments() override;
  // A damaged DVI file of a folder was passed over: the run ends with 1.
  bool documentsPassedOver() const { return documents_.passedOver(); }

 private:
  void ProgressThreadMain();
  void SignalThreadMain();

  const TermOptions& options_;
  KeyStore& keys_;
  TermDialogue& dialogue_;
  DocumentRun documents_;
  PosixProcessRunner posixRunner_;
  TermProgressView view_;
  TermRunner runner_;
  std::thread thread_;
  std::thread signalThread_;
  std::atomic<bool> threadEnded_{false};
  std::atomic<bool> viewEnded_{false};
  // SIGINT and SIGTERM arrive here as one byte each (their number).
  int signalPipe_[2] = {-1, -1};
  int wakePipe_[2] = {-1, -1};
  int signalStopPipe_[2] = {-1, -1};  // ends the signal thread
  bool handlersSet_ = false;
  struct sigaction savedInt_;
  struct sigaction savedTerm_;
};
