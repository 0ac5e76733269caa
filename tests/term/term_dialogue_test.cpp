#include "ui/term/term_dialogue.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <memory>

#include "ui/term/term_output.h"

TEST(OkCancelKey, KeysAtThePrompt) {
  for (int key : {'o', 'O', 'y', '\r', '\n'}) EXPECT_EQ(1, OkCancelKey(key)) << key;
  for (int key : {int('c'), int('C'), int('n'), int('q'), 27, 3}) EXPECT_EQ(0, OkCancelKey(key)) << key;
  for (int key : {'x', ' ', '1'}) EXPECT_EQ(-1, OkCancelKey(key)) << key;
}

TEST(FormatBox, TitleThenTextThenABlankLine) {
  EXPECT_EQ("Fontkiln for WIN32 \nline one\nline two\n\n",
            FormatBox("Fontkiln for WIN32 ", "line one\nline two"));
  EXPECT_EQ("t\nx\n\n", FormatBox("t", "x\n"));
}

// A process without a controlling terminal: the child of a death test that
// has left its session, with standard error in a file to read back.
TEST(TermDialogueDeathTest, WithoutATerminalQuestionsTakeCancelAndSaySo) {
  EXPECT_EXIT(
      {
        setsid();
        std::FILE* err = std::tmpfile();
        dup2(fileno(err), STDERR_FILENO);
        TermDialogue dialogue;
        int question = dialogue.ShowMessageBox(nullptr, "go on?", "確認",
                                               BOX_OKCANCEL | BOX_ICONQUESTION);
        int plain = dialogue.ShowMessageBox(nullptr, "done", "Fontkiln for WIN32 ",
                                            BOX_ICONINFORMATION);
        std::fflush(stderr);
        std::rewind(err);
        char buffer[512] = {};
        std::size_t n = std::fread(buffer, 1, sizeof buffer - 1, err);
        std::string text(buffer, n);
        bool ok = question == ANSWER_CANCEL && plain == ANSWER_OK &&
                  text == "確認\ngo on?\n\n(no terminal to answer on: Cancel)\n\n"
                          "Fontkiln for WIN32 \ndone\n\n";
        _exit(ok ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST(TermDialogue, ErrorBoxesCarryTheirContext) {
  std::FILE* err = std::tmpfile();
  int saved = dup(STDERR_FILENO);
  dup2(fileno(err), STDERR_FILENO);
  TermDialogue dialogue;
  int asked = 0;
  dialogue.errorContext = [&] { ++asked; return std::string("--- tail ---\n"); };
  dialogue.ShowMessageBox(nullptr, "M1", "T", BOX_ICONERROR | BOX_SETFOREGROUND);
  dialogue.ShowMessageBox(nullptr, "warn", "T", BOX_ICONWARNING);
  std::fflush(stderr);
  dup2(saved, STDERR_FILENO);
  close(saved);
  std::rewind(err);
  char buffer[256] = {};
  std::string text(buffer, std::fread(buffer, 1, sizeof buffer - 1, err));
  std::fclose(err);
  EXPECT_EQ(1, asked);  // warnings get no context
  EXPECT_EQ("--- tail ---\nT\nM1\n\nT\nwarn\n\n", text);
}
