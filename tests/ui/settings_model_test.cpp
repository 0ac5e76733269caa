#include "ui/settings_model.h"

#include <gtest/gtest.h>

#include <climits>

#include "deffile/reader.h"
#include "deffile/runsettings.h"
#include "run/cmdline.h"
#include "run/filesys.h"
#include "support/fakes.h"

namespace {

TEST(SettingsLists, SortAndFindIgnoreCase) {
  std::vector<std::string> list;
  for (const char* text : {"logo", "CM", "cmbx", "Apple", "cm"}) InsertSorted(list, text);
  EXPECT_EQ((std::vector<std::string>{"Apple", "CM", "cm", "cmbx", "logo"}), list);

  struct Case {
    const char* text;
    int expected;
  };
  for (const Case& c : {Case{"cm", 1}, Case{"CMB", 3}, Case{"l", 4}, Case{"", 0},
                        Case{"cmbxx", -1}, Case{"x", -1}})
    EXPECT_EQ(c.expected, FindListPrefix(list, c.text)) << c.text;
}

TEST(SettingsLists, ResolutionValueReadsAsAtoi) {
  struct Case {
    const char* text;
    int expected;
  };
  for (const Case& c : {Case{"400", 400}, Case{"400dpi nexthi", 400}, Case{"  +118x", 118},
                        Case{"-3", -3}, Case{"dpi", 0}, Case{"", 0},
                        Case{"99999999999999", INT_MAX}})
    EXPECT_EQ(c.expected, ResolutionValue(c.text)) << c.text;
}

class SettingsModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetRunSettings();
    CloseDefinitionReader();
    errorReaction = 'S';
    MakeDirectory("pk");
    runSettings.definitionPath = scratch.path() + "/FONTS.DAT";
    Write("TARGET_DIR " + scratch.path() + "/pk\n", kSets);
  }
  void TearDown() override { CloseDefinitionReader(); }

  static constexpr const char* kSets = "BEGIN_SOURCE\nlogo:\nlogo10 m0.5\ncm:\ncmr 10\nAmS:\ncmr 12\n";

  void Write(const std::string& header, const std::string& sets,
             const std::string& modes = "400 nexthi\n118 bitgraph\n300 cx\n") {
    scratch.Write("FONTS.DAT", modes + "MF mf \\mode=\n" + header + sets);
  }

  ScratchDirectory scratch;
  RecordingLog log;
  ScriptedDialogue dialogue;
  SettingsModel model;
};

TEST_F(SettingsModelTest, InitialChoicesFromCommandLine) {
  using Sets = std::vector<std::string>;
  struct Case {
    std::vector<std::string> words;
    const char* modeText;
    Sets selected;
    Sets available;
    int errors;
  };
  const Case cases[] = {
      {{}, "118dpi bitgraph", {"AmS", "cm", "logo"}, {}, 1},
      {{"400"}, "400dpi nexthi", {"AmS", "cm", "logo"}, {}, 0},
      {{"400dpi", "logo", "AmS"}, "400dpi nexthi", {"AmS", "logo"}, {"cm"}, 0},
      // Regression: a name that matches a set only ignoring case, or only as
      // a prefix, used to be chosen under the typed name, which no label has,
      // and the run built nothing. It is ignored, as start-up announces.
      {{"300", "CM"}, "300dpi cx", {"AmS", "cm", "logo"}, {}, 1},
      {{"300", "c"}, "300dpi cx", {"AmS", "cm", "logo"}, {}, 1},
      {{"300", "cm", "cm"}, "300dpi cx", {"cm"}, {"AmS", "logo"}, 1},
      {{"401", "nothing"}, "118dpi bitgraph", {"AmS", "cm", "logo"}, {}, 2},
  };
  for (const Case& c : cases) {
    SetArgumentWords(c.words);
    ASSERT_EQ(InitResult::Ready, InitSettingsModel(model, nullptr));
    EXPECT_EQ(c.modeText, model.modeText);
    EXPECT_EQ(c.selected, model.selected);
    EXPECT_EQ(c.available, model.available);
    EXPECT_EQ(c.errors, model.autoExecErrors);
    EXPECT_EQ(c.errors, autoExecErrors);
    EXPECT_EQ(c.available.empty() ? kEmptyListText : c.available[0], model.availableText);
    EXPECT_EQ(!c.available.empty(), model.addEnabled);
    EXPECT_EQ(0, model.selectedIndex);
    EXPECT_TRUE(model.deleteEnabled);
    EXPECT_EQ(3u, model.modes.size());
  }
  EXPECT_TRUE(dialogue.boxes.empty());
  EXPECT_FALSE(DefinitionReaderIsOpen());
}

TEST_F(SettingsModelTest, InitLogsAutoExecCount) {
  SetArgumentWords({});
  InitSettingsModel(model, nullptr);
  ASSERT_GE(log.lines.size(), 2u);
  EXPECT_EQ("Auto exec -MODE-", log.lines[0].text);
  EXPECT_EQ(LOG_ALERT, log.lines[0].kind);
  EXPECT_EQ("Auto exec argc=1 Error=1", log.lines.back().text);
}

TEST_F(SettingsModelTest, LastModeLineOfResolutionSetsText) {
  Write("", kSets, "300 cx\n300 dm\n300 AAA\n");
  SetArgumentWords({"300"});
  InitSettingsModel(model, nullptr);
  EXPECT_EQ("300dpi AAA", model.modeText);
  EXPECT_EQ((std::vector<std::string>{"300dpi AAA", "300dpi cx", "300dpi dm"}), model.modes);
}

TEST_F(SettingsModelTest, SettingsFromHeader) {
  struct Case {
    int errorReaction;
    const char* force;
    int reaction;
    int overwrite;
  };
  for (const Case& c : {Case{'S', "", 'S', 0}, Case{'I', "FORCE\n", 'I', 1},
                        Case{'C', "", 'C', 0}, Case{0, "", 'C', 0}}) {
    Write(c.force + std::string("TARGET_DIR ") + scratch.path() + "/pk\n", kSets);
    errorReaction = c.errorReaction;
    debugMode = 1;
    SetArgumentWords({"400"});
    InitSettingsModel(model, nullptr);
    EXPECT_EQ(c.reaction, model.reaction);
    EXPECT_EQ(c.overwrite, model.overwrite);
    EXPECT_EQ(c.overwrite, runSettings.overwrite);
    EXPECT_EQ(1, model.debug);
    EXPECT_EQ(2, model.priorityPosition);
    EXPECT_EQ(scratch.path() + "/pk", model.targetDir);
  }
}

TEST_F(SettingsModelTest, UnusableTargetDirFallsBackToCurrentDirectory) {
  const std::string path = runSettings.definitionPath;
  struct Case {
    std::string header;
    std::string message;
  };
  const Case cases[] = {
      {"",
       "定義ファイル\n" + path + "\nに TARGET_DIR (フォントの作成先ディレクトリ)が設定\n"
       "されていません。\n【例】\n    TARGET_DIR c:/usr/local/lib/texmf/pk\n"
       "等のように設定して下さい。尚, このディレクトリは既\n存である必要があります。\n"
       "ダイアログでフォントの作成先ディレクトリを正しく設\n定すれば, 継続出来ます。"
       "次回からはちゃんと定義ファ\nイルに設定して下さい。"},
      {"TARGET_DIR FONTS.DAT\n",
       "定義ファイル\n" + path + "\nに設定されていいる TARGET_DIR\nFONTS.DAT は\n"
       "存在しないか, 又はディレクトリではありません。\n"
       "ダイアログでフォントの作成先ディレクトリを正し\nく設定すれば,   継続出来ます。"
       "次回からは正しい\nディレクトリちゃんと定義ファイルに設定して下さ\nい。"},
  };
  for (const Case& c : cases) {
    ScriptedDialogue boxes;
    Write(c.header, kSets);
    SetArgumentWords({"400"});
    int owner = 0;
    EXPECT_EQ(InitResult::Ready, InitSettingsModel(model, &owner));
    EXPECT_EQ(".", model.targetDir);
    EXPECT_EQ(".", runSettings.targetDir);
    EXPECT_EQ(1, model.autoExecErrors);
    ASSERT_EQ(1u, boxes.boxes.size());
    EXPECT_EQ(c.message, boxes.boxes[0].text);
    EXPECT_EQ(&owner, boxes.boxes[0].owner);
    EXPECT_EQ(BOX_SETFOREGROUND | BOX_ICONERROR, boxes.boxes[0].flags);
  }
}

TEST_F(SettingsModelTest, FileWithoutModesOrLabelsIsRefused) {
  Write("", kSets, "");
  SetArgumentWords({});
  EXPECT_EQ(InitResult::NoModes, InitSettingsModel(model, nullptr));
  Write("", "BEGIN_SOURCE\n");
  EXPECT_EQ(InitResult::NoFontSets, InitSettingsModel(model, nullptr));
  ASSERT_EQ(2u, dialogue.boxes.size());
  EXPECT_EQ(0u, dialogue.boxes[0].text.find("定義ファイル\n" + runSettings.definitionPath +
                                            "\nに 解像度と mode の記述が一つも"));
  EXPECT_EQ("定義ファイル\n" + runSettings.definitionPath +
                "\nにフォントセットのラベルが一つも設定されていません。\n"
                "この記述は必ず一つは必要です。",
            dialogue.boxes[1].text);
}

TEST_F(SettingsModelTest, AddAndDeleteMoveSetsAndSwitchButtons) {
  SetArgumentWords({"400", "logo"});
  InitSettingsModel(model, nullptr);
  EXPECT_EQ("AmS", model.availableText);

  model.availableText = "c";  // typed; found as the list finds it
  AddTypedFontSet(model);
  EXPECT_EQ((std::vector<std::string>{"cm", "logo"}), model.selected);
  EXPECT_EQ(1, model.selectedIndex);  // logo stays selected
  EXPECT_EQ("AmS", model.availableText);
  AddFontSet(model, 0);
  EXPECT_FALSE(model.addEnabled);
  EXPECT_EQ(kEmptyListText, model.availableText);
  EXPECT_TRUE(log.Contains("空っぽです (RET 1)"));
  AddTypedFontSet(model);  // "空っぽです" finds nothing
  EXPECT_EQ(3u, model.selected.size());

  for (int i = 0; i < 3; ++i) DeleteFontSet(model);
  EXPECT_TRUE(model.selected.empty());
  EXPECT_FALSE(model.deleteEnabled);
  EXPECT_TRUE(model.addEnabled);
  EXPECT_EQ(-1, model.selectedIndex);
  DeleteFontSet(model);  // nothing selected: nothing happens
  EXPECT_EQ(3u, model.available.size());

  AddFontSet(model, 2);  // Delete follows the selection, not Add
  EXPECT_FALSE(model.deleteEnabled);
  SelectFontSet(model, 0);
  EXPECT_TRUE(model.deleteEnabled);
}

class ApplySettingsTest : public SettingsModelTest {
 protected:
  void SetUp() override {
    SettingsModelTest::SetUp();
    SetArgumentWords({"400", "logo", "cm"});
    InitSettingsModel(model, &owner);
  }
  static std::vector<std::string> ChosenSets() {
    std::vector<std::string> names;
    for (const FontSetNode* node = runSettings.fontSets.get(); node; node = node->next.get())
      names.push_back(node->name);
    return names;
  }
  int owner = 0;
};

TEST_F(ApplySettingsTest, WritesRunSettings) {
  model.reaction = 'I';
  model.overwrite = 1;
  ASSERT_EQ(ApplyResult::Run, ApplySettings(model, &owner));
  EXPECT_EQ(400, runSettings.resolution);
  EXPECT_EQ("nexthi", runSettings.modeName);
  EXPECT_EQ(scratch.path() + "/pk", runSettings.targetDir);
  EXPECT_EQ(1, runSettings.overwrite);
  EXPECT_EQ((std::vector<std::string>{"cm", "logo"}), ChosenSets());  // sorted order
  EXPECT_EQ('I', errorReaction);
  EXPECT_EQ(PRIORITY_NORMAL, priorityClass);
  EXPECT_TRUE(dialogue.boxes.empty());  // no question, no pause
  EXPECT_TRUE(log.Contains("DPI=400.000000, Mode=nexthi"));
  EXPECT_TRUE(log.Contains("ErrorReaction = I"));
  EXPECT_TRUE(log.Contains("MF Priority = 2"));
  std::vector<std::string> lines = log.Texts();
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(0u, lines[lines.size() - 4].find("Font set("));
  EXPECT_EQ(" cm", lines[lines.size() - 4].substr(lines[lines.size() - 4].size() - 3));
}

TEST_F(ApplySettingsTest, RefusesModeTextOutsideListOrWithoutName) {
  for (const char* text : {"600dpi ljfour", "400", "400dpi ", "x"}) {
    ScriptedDialogue boxes;
    model.modeText = text;
    EXPECT_EQ(ApplyResult::Stay, ApplySettings(model, &owner)) << text;
    ASSERT_EQ(1u, boxes.boxes.size());
    EXPECT_EQ("mode 名の指定に誤りがあります。 mode 名の横の↓を押し\nて, 一覧から選択して下さい",
              boxes.boxes[0].text);
  }
}

TEST_F(ApplySettingsTest, PriorityQuestionThenEmptySetList) {
  model.priorityPosition = 3;
  dialogue.answers = {ANSWER_CANCEL};
  EXPECT_EQ(ApplyResult::Stay, ApplySettings(model, &owner));
  EXPECT_EQ(PRIORITY_IDLE, priorityClass);
  ASSERT_EQ(1u, dialogue.boxes.size());
  EXPECT_EQ(BOX_SETFOREGROUND | BOX_ICONQUESTION | BOX_OKCANCEL, dialogue.boxes[0].flags);
  EXPECT_EQ(0u, dialogue.boxes[0].text.find("METAFONTのプライオリティが普通以外に"));

  // Run again after removing every set: the list is built anew, and empty.
  DeleteFontSet(model);
  DeleteFontSet(model);
  EXPECT_EQ(ApplyResult::Stay, ApplySettings(model, &owner));
  EXPECT_EQ("フォントセットが選択されていません。", dialogue.boxes.back().text);
  EXPECT_EQ(nullptr, runSettings.fontSets);
}

TEST_F(ApplySettingsTest, DebugModePausesBeforeRun) {
  model.debug = 1;
  model.priorityPosition = 0;
  dialogue.answers = {ANSWER_OK};
  EXPECT_EQ(ApplyResult::Run, ApplySettings(model, &owner));
  EXPECT_EQ(PRIORITY_REALTIME, priorityClass);
  ASSERT_EQ(2u, dialogue.boxes.size());
  EXPECT_EQ("一時停止", dialogue.boxes[1].text);
  EXPECT_EQ("デバッグ", dialogue.boxes[1].title);
  EXPECT_EQ(BOX_ICONINFORMATION | BOX_SETFOREGROUND, dialogue.boxes[1].flags);
  EXPECT_EQ(1, debugMode);
}

}  // namespace

// Documents of the command line stand among the chosen sets as the only
// choices; Run hands them over apart from the font sets.
TEST_F(SettingsModelTest, DocumentsListedChosenAndHandedOver) {
  SetArgumentWords({"400", "cm"});
  documentArguments = {"C:\\docs\\paper.dvi", "C:\\a\\same.dvi", "C:\\b\\same.dvi"};
  ASSERT_EQ(InitResult::Ready, InitSettingsModel(model, nullptr));
  documentArguments.clear();
  EXPECT_EQ((std::vector<std::string>{"C:\\a\\same.dvi", "C:\\b\\same.dvi", "cm", "paper.dvi"}),
            model.selected);
  EXPECT_EQ((std::vector<std::string>{"AmS", "logo"}), model.available);
  EXPECT_EQ(0, model.autoExecErrors);
  // One document deleted from the list is not built.
  SelectFontSet(model, 0);
  DeleteFontSet(model);
  ASSERT_EQ(ApplyResult::Run, ApplySettings(model, nullptr));
  ASSERT_TRUE(runSettings.fontSets);
  EXPECT_EQ("cm", runSettings.fontSets->name);
  EXPECT_FALSE(runSettings.fontSets->next);
  EXPECT_EQ((std::vector<std::string>{"C:\\b\\same.dvi", "C:\\docs\\paper.dvi"}),
            runSettings.documentFiles);

  // A document alone keeps every set unchosen; a CP932 trail byte 0x5C is
  // no separator.
  SetArgumentWords({});
  documentArguments = {"C:\\\x95\\.dvi"};
  ASSERT_EQ(InitResult::Ready, InitSettingsModel(model, nullptr));
  documentArguments.clear();
  EXPECT_EQ((std::vector<std::string>{"\x95\\.dvi"}), model.selected);
  EXPECT_EQ(3u, model.available.size());
}
