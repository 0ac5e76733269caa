#include "run/sequence.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "deffile/reader.h"
#include "deffile/runsettings.h"
#include "run/batch.h"
#include "run/cmdline.h"
#include "run/filesys.h"
#include "run/handshake.h"
#include "run/jobgen.h"
#include "support/fake_runner.h"
#include "support/fakes.h"
#include "ui/settings_model.h"

namespace {

void Pause() { std::this_thread::sleep_for(std::chrono::milliseconds(1)); }

// Both threads log; the recorder of the other tests is not made for that.
class LockedLog : public LogSink {
 public:
  LockedLog() { SetLogSink(this); }
  ~LockedLog() override { SetLogSink(nullptr); }
  void WriteLog(LogKind, const std::string& text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    texts_.push_back(text);
  }
  std::vector<std::string> Texts() {
    std::lock_guard<std::mutex> lock(mutex_);
    return texts_;
  }

 private:
  std::mutex mutex_;
  std::vector<std::string> texts_;
};

// A front end whose progress thread is real, so that the hand-shake runs as
// it does in the programs; its view is a recorder.
class FakeFrontEnd : public RunFrontEnd {
 public:
  enum class ThreadKind { Normal, CannotStart, DiesBeforePublishing, VanishesSilently };

  ~FakeFrontEnd() override {
    masterFinished = 1;
    if (worker.joinable()) worker.join();
  }

  int LocateDefinitionFile(std::string& path) override {
    if (definitionPath.empty()) return 0;
    path = definitionPath;
    return 1;
  }
  int ShowSettingsDialog() override {
    settingsShown = true;
    if (InitSettingsModel(model, nullptr) != InitResult::Ready) return 0;
    if (model.autoExecErrors != 0 && !userPressesRun) return 0;
    return ApplySettings(model, nullptr) == ApplyResult::Run ? 1 : 0;
  }
  bool StartProgressThread() override {
    if (threadKind == ThreadKind::CannotStart) return false;
    worker = std::thread([this] {
      if (threadKind == ThreadKind::Normal) {
        progressDialog = 1;
        while (!closeRequested && !userStops) Pause();
        viewEnded = true;
      }
      if (threadKind != ThreadKind::VanishesSilently) ProgressThreadEpilogue(1);
      threadEnded = true;
    });
    return true;
  }
  bool ProgressThreadEnded() override { return threadEnded; }
  void BringProgressToFront() override { broughtToFront = true; }
  void CloseProgressView() override {
    closedWithoutQuestion = confirmStop == 0;
    closeRequested = true;
    while (!viewEnded) Pause();
  }
  void JoinProgressThread() override {
    if (worker.joinable()) worker.join();
  }
  ProgressView& Progress() override { return view; }
  ProcessRunner& Runner() override { return runner; }

  // The user's Stop, confirmed, while a job runs.
  void StopDuringJobs() {
    runner.duringJob = [this](const std::string&) {
      userStops = true;
      while (terminateRequest == 0) Pause();
    };
  }

  std::string definitionPath;
  ThreadKind threadKind = ThreadKind::Normal;
  bool userPressesRun = false;
  SettingsModel model;
  RecordingProgress view;
  FakeRunner runner;
  std::thread worker;
  std::atomic<bool> closeRequested{false}, userStops{false}, viewEnded{false},
      threadEnded{false};
  bool settingsShown = false, broughtToFront = false, closedWithoutQuestion = false;
};

class SequenceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetRunSettings();
    ResetJobGenerator();
    CloseDefinitionReader();
    autoExecErrors = 0;
    progressDialog = 0;
    terminateRequest = 0;
    masterFinished = 0;
    MakeDirectory("pk");
    targetDir = scratch.path() + "/pk";
    WriteDefinition("MF mf \\mode=\n");
    frontEnd.definitionPath = scratch.path() + "/FONTS.DAT";
    startDirectory = CurrentDirectory();
  }
  void TearDown() override {
    ResetJobGenerator();
    CloseDefinitionReader();
  }

  void WriteDefinition(const std::string& header) {
    scratch.Write("FONTS.DAT", "400 nexthi\n118 bitgraph\n" + header + "TARGET_DIR " +
                                   targetDir + "\nBEGIN_SOURCE\ncm:\ncmr 10 12\n"
                                   "logo:\nlogo10 m0.5\n");
  }

  bool Shown(const std::string& text) const {
    for (const ShownBox& box : dialogue.boxes)
      if (box.text == text) return true;
    return false;
  }

  const ShownBox* SummaryBox() const {
    for (const ShownBox& box : dialogue.boxes)
      if (box.text.rfind("指定されたフォントの生成を完了しました\n", 0) == 0) return &box;
    return nullptr;
  }

  ScratchDirectory scratch;
  LockedLog log;
  ScriptedDialogue dialogue;
  FakeFrontEnd frontEnd;
  std::string targetDir;
  std::string startDirectory;
};

TEST_F(SequenceTest, AutoExecRunEndsWithoutSummary) {
  RunOutcome outcome = RunSequence(frontEnd, {"400", "cm"});

  EXPECT_EQ(1, outcome.exitCode);
  EXPECT_TRUE(outcome.batchRan);
  EXPECT_TRUE(outcome.completed);
  EXPECT_FALSE(outcome.stoppedByUser);
  EXPECT_EQ(2, outcome.fontsProcessed);
  EXPECT_EQ(0, outcome.fontsFailed);
  EXPECT_TRUE(dialogue.boxes.empty());
  EXPECT_TRUE(frontEnd.broughtToFront);
  EXPECT_TRUE(frontEnd.closedWithoutQuestion);
  EXPECT_TRUE(PathExists(targetDir + "/cmr12.400pk"));
  EXPECT_EQ(startDirectory, CurrentDirectory());
  std::vector<std::string> lines = log.Texts();
  auto wait = std::find(lines.begin(), lines.end(), "Master: Wait for exit thread");
  ASSERT_NE(lines.end(), wait);
  EXPECT_NE(lines.end(), std::find(wait, lines.end(), "Master: Exit Process"));
  EXPECT_EQ(1, masterFinished.load());
}

TEST_F(SequenceTest, OnlyResolutionShowsSummary) {
  RunOutcome outcome = RunSequence(frontEnd, {"400"});
  EXPECT_EQ(3, outcome.fontsProcessed);
  const ShownBox* summary = SummaryBox();
  ASSERT_NE(nullptr, summary);
  EXPECT_EQ(kProductTitle, summary->title);
  EXPECT_EQ(BOX_SETFOREGROUND | BOX_ICONINFORMATION, summary->flags);
  EXPECT_NE(std::string::npos, summary->text.find("トータル生成フォント数は 3 なので,"));
  EXPECT_NE(std::string::npos, summary->text.find("\n    " + targetDir + "\n"));
}

TEST_F(SequenceTest, UnknownArgumentsAreWarnedAboutAndSummaryFollows) {
  frontEnd.userPressesRun = true;
  RunSequence(frontEnd, {"401", "CM", "logo"});
  const std::string& path = frontEnd.definitionPath;
  ASSERT_GE(dialogue.boxes.size(), 2u);
  EXPECT_EQ("第一引数で指定された解像度 401 は定義ファイル\n" + path +
                "\nに存在しません。この引数は無視します。",
            dialogue.boxes[0].text);
  EXPECT_EQ(BOX_SETFOREGROUND | BOX_ICONWARNING, dialogue.boxes[0].flags);
  EXPECT_EQ("第2引数で指定されたフォントセット名 CM は定義ファイル\n" + path +
                "\nに存在しません。この引数は無視します。",
            dialogue.boxes[1].text);
  EXPECT_NE(nullptr, SummaryBox());
}

TEST_F(SequenceTest, MissingMfCommandEndsBeforeSettings) {
  WriteDefinition("");
  RunOutcome outcome = RunSequence(frontEnd, {});
  EXPECT_EQ(1, outcome.exitCode);
  EXPECT_FALSE(frontEnd.settingsShown);
  ASSERT_EQ(1u, dialogue.boxes.size());
  EXPECT_EQ(frontEnd.definitionPath +
                "\nのファイルで MF のキーワードが指定されていません。\n"
                "MF キーワードは必ず指定して下さい。\n【例】\n    MF mf \\mode=\n"
                "    MF mf \\mode:=\n    MF virmf &plain \\mode=\n"
                "    MF virmf &plain \\mode:=\n等, 自分が使用している METAFONT に合わせて設定して\n下さい。",
            dialogue.boxes[0].text);
  EXPECT_EQ(BOX_SETFOREGROUND | BOX_ICONERROR, dialogue.boxes[0].flags);
}

TEST_F(SequenceTest, EndsEarlyWithoutDefinitionFileOrSettings) {
  frontEnd.definitionPath.clear();
  EXPECT_EQ(1, RunSequence(frontEnd, {"400", "cm"}).exitCode);
  EXPECT_FALSE(frontEnd.settingsShown);

  FakeFrontEnd waiting;  // no words: the settings wait, and the user leaves
  waiting.definitionPath = frontEnd.definitionPath = scratch.path() + "/FONTS.DAT";
  RunOutcome outcome = RunSequence(waiting, {});
  EXPECT_EQ(1, outcome.exitCode);
  EXPECT_FALSE(outcome.batchRan);
  EXPECT_FALSE(waiting.worker.joinable());
}

TEST_F(SequenceTest, ThreadThatCannotBeCreatedEndsWithZero) {
  frontEnd.threadKind = FakeFrontEnd::ThreadKind::CannotStart;
  RunOutcome outcome = RunSequence(frontEnd, {"400", "cm"});
  EXPECT_EQ(0, outcome.exitCode);
  ASSERT_EQ(1u, dialogue.boxes.size());
  EXPECT_EQ("スレッドの作成に失敗しました", dialogue.boxes[0].text);
  EXPECT_EQ("作れない!!", dialogue.boxes[0].title);
  EXPECT_EQ(BOX_OK, dialogue.boxes[0].flags);
  EXPECT_TRUE(frontEnd.runner.commands.empty());
}

TEST_F(SequenceTest, ProgressThreadThatNeverPublishesDoesNotHang) {
  for (auto kind : {FakeFrontEnd::ThreadKind::DiesBeforePublishing,
                    FakeFrontEnd::ThreadKind::VanishesSilently}) {
    FakeFrontEnd dying;
    dying.definitionPath = frontEnd.definitionPath;
    dying.threadKind = kind;
    ScriptedDialogue boxes;
    RunOutcome outcome = RunSequence(dying, {"400", "cm"});
    EXPECT_EQ(1, outcome.exitCode);
    EXPECT_FALSE(outcome.batchRan);
    EXPECT_TRUE(dying.runner.commands.empty());
    EXPECT_FALSE(dying.worker.joinable());
    ASSERT_EQ(1u, boxes.boxes.size());
    EXPECT_EQ(BOX_SETFOREGROUND | BOX_ICONERROR, boxes.boxes[0].flags);
    EXPECT_EQ(startDirectory, CurrentDirectory());
  }
}

TEST_F(SequenceTest, StopByUserShowsNoticeThenSummary) {
  frontEnd.StopDuringJobs();
  RunOutcome outcome = RunSequence(frontEnd, {"400"});

  EXPECT_TRUE(outcome.stoppedByUser);
  EXPECT_FALSE(outcome.completed);
  EXPECT_EQ(1, outcome.fontsProcessed);  // the running font is finished
  EXPECT_TRUE(PathExists(targetDir + "/cmr10.400pk"));
  EXPECT_FALSE(frontEnd.closeRequested);
  ASSERT_EQ(2u, dialogue.boxes.size());
  EXPECT_EQ("Thread からの停止要求を受信しました", dialogue.boxes[0].text);
  EXPECT_EQ(BOX_SETFOREGROUND | BOX_ICONINFORMATION, dialogue.boxes[0].flags);
  EXPECT_EQ(SummaryBox(), &dialogue.boxes[1]);
  EXPECT_EQ(startDirectory, CurrentDirectory());
}

TEST_F(SequenceTest, FailureUnderStopClosesViewWithoutNotice) {
  frontEnd.runner.fonts["cmr10"].writeNothing = true;
  RunOutcome outcome = RunSequence(frontEnd, {"400", "cm"});
  EXPECT_FALSE(outcome.completed);
  EXPECT_FALSE(outcome.stoppedByUser);
  EXPECT_EQ(1, outcome.fontsFailed);
  EXPECT_TRUE(frontEnd.closedWithoutQuestion);
  ASSERT_EQ(1u, dialogue.boxes.size());  // M1 alone: no stop notice, no summary
  EXPECT_FALSE(Shown("Thread からの停止要求を受信しました"));
}


TEST(FormatSummary, TotalsAndAverage) {
  EXPECT_EQ(
      "指定されたフォントの生成を完了しました\n    開始時刻: 10:00:00\n"
      "    終了時刻: 11:02:05\nフォント作成に要した総時間は 1時間 2分 5秒でした\n"
      "トータル生成フォント数は 5 なので,\nフォント一個当たりの平均生成時間は 745 秒でした\n"
      "    /pk\nディレクトリの下に tfm と log というディレクトリを作成\n"
      "しました。それぞれ METAFONT が出力したファイルが格納さ\n"
      "れていますが, 必要無ければ削除して下さい。",
      FormatSummary("開始時刻: 10:00:00", LocalTime(11, 2, 5), LocalTime(10, 0, 0), 5, "/pk"));
  std::string none =
      FormatSummary("S", LocalTime(10, 0, 3), LocalTime(10, 0, 0), 0, "/pk");
  EXPECT_NE(std::string::npos, none.find("数は 0 なので,\nフォント一個当たりの平均生成時間は 0 秒"));
}

}  // namespace
