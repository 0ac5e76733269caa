#include "install/locate.h"

#include <gtest/gtest.h>

#include "support/fakes.h"

namespace {

// The key store in memory: the key, its value, and scripted failures.
class MemoryKeyStore : public KeyStore {
 public:
  KeyStatus ReadDataFilePath(std::string& path) override {
    if (!keyExists) return KeyStatus::KeyMissing;
    if (!hasValue) return KeyStatus::ValueMissing;
    path = value;
    return KeyStatus::Ok;
  }
  KeyStatus WriteDataFilePath(const std::string& path) override {
    if (writeFailure != KeyStatus::Ok) return writeFailure;
    keyExists = hasValue = true;
    value = path;
    return KeyStatus::Ok;
  }
  KeyStatus DeleteProgramKey() override {
    if (!keyExists) return KeyStatus::DeleteFailed;
    keyExists = hasValue = false;
    value.clear();
    return KeyStatus::Ok;
  }
  bool keyExists = false;
  bool hasValue = false;
  std::string value;
  KeyStatus writeFailure = KeyStatus::Ok;
};

// The install dialog: writes a path, or is cancelled.
class ScriptedInstall : public InstallPrompt {
 public:
  explicit ScriptedInstall(MemoryKeyStore& keys) : keys_(keys) {}
  int RunInstallDialog() override {
    ++runs;
    if (path.empty()) return 0;
    return InstallDefinitionPath(keys_, path, nullptr) == InstallResult::Written ? 1 : 0;
  }
  std::string path;
  int runs = 0;

 private:
  MemoryKeyStore& keys_;
};

const char kInstallQuestion[] =
    "レジストリのオープン又は定義ファイルの\nオープンに失敗しました。レジストリが破\n"
    "壊されているか, 定義ファイルが見つから\nないか又は, 初めての起動だと推測されま\n"
    "す。\nインストール作業を行いますか。";

class LocateTest : public ::testing::Test {
 protected:
  void SetUp() override { scratch.Write("FONTS.DAT", "400 nexthi\n"); }
  std::vector<std::string> Texts() const {
    std::vector<std::string> texts;
    for (const ShownBox& box : dialogue.boxes) texts.push_back(box.text);
    return texts;
  }
  ScratchDirectory scratch;
  ScriptedDialogue dialogue;
  MemoryKeyStore keys;
  ScriptedInstall install{keys};
  std::string path;
};

TEST_F(LocateTest, ReadReportsEachStateOfTheStore) {
  struct Case {
    bool keyExists, hasValue;
    const char* value;
    int expected;
    const char* message;  // null: none
  };
  const Case cases[] = {
      {false, false, "", 0, "レジストリのオープンに失敗しました"},
      {true, false, "", 0, "レジストリの値の取得に失敗しました"},
      {true, true, "gone.dat", 0, "レジストリから得られたファイル(gone.dat)が実在しません"},
      {true, true, "FONTS.DAT", 1, nullptr},
      {true, true, ".", 1, nullptr},  // a directory passes the existence test
  };
  for (const Case& c : cases) {
    ScriptedDialogue boxes;
    keys.keyExists = c.keyExists;
    keys.hasValue = c.hasValue;
    keys.value = c.value;
    EXPECT_EQ(c.expected, ReadDefinitionFilePath(keys, path)) << c.value;
    if (!c.message) {
      EXPECT_TRUE(boxes.boxes.empty());
      EXPECT_EQ(c.value, path);
      continue;
    }
    ASSERT_EQ(1u, boxes.boxes.size());
    EXPECT_EQ(c.message, boxes.boxes[0].text);
    EXPECT_EQ(nullptr, boxes.boxes[0].owner);
    EXPECT_EQ(kProductTitle, boxes.boxes[0].title);
    EXPECT_EQ(BOX_SETFOREGROUND | BOX_ICONERROR, boxes.boxes[0].flags);
  }
}

TEST_F(LocateTest, FirstStartInstallsThenFinds) {
  install.path = "FONTS.DAT";
  EXPECT_EQ(1, LocateDefinitionFile(keys, install, path));
  EXPECT_EQ("FONTS.DAT", path);
  EXPECT_EQ("FONTS.DAT", keys.value);  // stored as typed
  EXPECT_EQ((std::vector<std::string>{"レジストリのオープンに失敗しました", kInstallQuestion}),
            Texts());
  EXPECT_EQ(BOX_SETFOREGROUND | BOX_ICONERROR | BOX_OKCANCEL, dialogue.boxes[1].flags);
}

TEST_F(LocateTest, CancelOrClosedInstallEndsQuietly) {
  dialogue.answers = {ANSWER_CANCEL};
  EXPECT_EQ(0, LocateDefinitionFile(keys, install, path));
  EXPECT_EQ(0, install.runs);
  EXPECT_EQ(2u, dialogue.boxes.size());

  EXPECT_EQ(0, LocateDefinitionFile(keys, install, path));  // dialog left with 0
  EXPECT_EQ(1, install.runs);
  EXPECT_EQ(4u, dialogue.boxes.size());
}

TEST_F(LocateTest, FileGoneBeforeSecondLookup) {
  class VanishingInstall : public InstallPrompt {
   public:
    explicit VanishingInstall(MemoryKeyStore& keys) : keys_(keys) {}
    int RunInstallDialog() override {
      keys_.WriteDataFilePath("later.dat");
      return 1;
    }
    MemoryKeyStore& keys_;
  } vanishing(keys);
  EXPECT_EQ(0, LocateDefinitionFile(keys, vanishing, path));
  EXPECT_EQ((std::vector<std::string>{
                "レジストリのオープンに失敗しました", kInstallQuestion,
                "レジストリから得られたファイル(later.dat)が実在しません",
                "レジストリのオープン又は定義ファイルのオープンに\n失敗しました。"}),
            Texts());
}

TEST_F(LocateTest, WriteButtonChecksThenWrites) {
  int owner = 0;
  EXPECT_EQ(InstallResult::NoSuchFile, InstallDefinitionPath(keys, "(^_^)", &owner));
  EXPECT_EQ("指定されたファイルは存在しません", dialogue.boxes.back().text);
  EXPECT_EQ(&owner, dialogue.boxes.back().owner);
  EXPECT_FALSE(keys.hasValue);

  keys.writeFailure = KeyStatus::CreateFailed;
  EXPECT_EQ(InstallResult::Failed, InstallDefinitionPath(keys, "FONTS.DAT", &owner));
  EXPECT_EQ("レジストリのキーの作成に失敗しました。", dialogue.boxes.back().text);
  EXPECT_EQ(nullptr, dialogue.boxes.back().owner);
  keys.writeFailure = KeyStatus::WriteFailed;
  EXPECT_EQ(InstallResult::Failed, InstallDefinitionPath(keys, "FONTS.DAT", &owner));
  EXPECT_EQ("レジストリの値の作成に失敗しました。", dialogue.boxes.back().text);

  keys.writeFailure = KeyStatus::Ok;
  std::size_t shown = dialogue.boxes.size();
  EXPECT_EQ(InstallResult::Written, InstallDefinitionPath(keys, "FONTS.DAT", &owner));
  EXPECT_EQ(shown, dialogue.boxes.size());
  EXPECT_EQ("FONTS.DAT", keys.value);
}

TEST_F(LocateTest, UninstallAsksThenDeletes) {
  int owner = 0;
  keys.WriteDataFilePath("FONTS.DAT");
  dialogue.answers = {ANSWER_CANCEL, ANSWER_OK, ANSWER_OK};
  EXPECT_EQ(0, Uninstall(keys, &owner));
  EXPECT_TRUE(keys.keyExists);
  EXPECT_EQ(BOX_SETFOREGROUND | BOX_ICONQUESTION | BOX_OKCANCEL, dialogue.boxes[0].flags);
  EXPECT_EQ(&owner, dialogue.boxes[0].owner);

  EXPECT_EQ(1, Uninstall(keys, &owner));
  EXPECT_FALSE(keys.keyExists);
  EXPECT_EQ("「Fontkiln」に関するレジストリは全て削除しました", dialogue.boxes.back().text);
  EXPECT_EQ(BOX_SETFOREGROUND | BOX_ICONINFORMATION, dialogue.boxes.back().flags);

  EXPECT_EQ(0, Uninstall(keys, &owner));  // nothing left to delete
  EXPECT_EQ("レジストリの削除に失敗しました", dialogue.boxes.back().text);
  EXPECT_EQ(BOX_SETFOREGROUND | BOX_ICONERROR, dialogue.boxes.back().flags);
}

}  // namespace
