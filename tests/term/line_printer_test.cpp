#include "ui/term/line_printer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

// Collects what a printer writes.
class Capture {
 public:
  Capture() : file_(std::tmpfile()) {}
  ~Capture() { std::fclose(file_); }
  std::FILE* file() { return file_; }
  std::string Take() {
    std::fflush(file_);
    std::string text;
    std::rewind(file_);
    int c;
    while ((c = std::fgetc(file_)) != EOF) text += static_cast<char>(c);
    std::rewind(file_);
    if (ftruncate(fileno(file_), 0) != 0) ADD_FAILURE();
    return text;
  }

 private:
  std::FILE* file_;
};

}  // namespace

TEST(DisplayWidth, CountsWideCharactersTwice) {
  const struct { std::string text; int width; } cases[] = {
      {"", 0},
      {"abc", 3},
      {"生成中", 6},
      {"25%(5/20) 生成中[cm]", 20},
      {"ｱｲｳ", 3},            // half-width katakana are narrow
      {"e\xCC\x81", 1},      // e and a combining acute accent
      {"\xFF\xFE", 2},       // malformed bytes count one each
      {"\x1b", 0},
  };
  for (const auto& c : cases) EXPECT_EQ(c.width, DisplayWidth(c.text)) << c.text;
}

TEST(CutToWidth, NeverSplitsACharacter) {
  const struct { std::string text; int columns; std::string cut; } cases[] = {
      {"abcdef", 3, "abc"},
      {"abc", 10, "abc"},
      {"生成中です", 5, "生成"},    // a wide character does not fit into one column
      {"生成中です", 6, "生成中"},
      {"a生成", 2, "a"},
      {"\xE7\x94", 5, "\xE7\x94"},  // a truncated sequence stays bytes
      {"abc", 0, ""},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.cut, CutToWidth(c.text, c.columns)) << c.text << " " << c.columns;
    EXPECT_LE(DisplayWidth(CutToWidth(c.text, c.columns)), c.columns);
  }
}

TEST(LinePrinter, RedrawsTheBlockInPlace) {
  Capture out;
  LinePrinter printer(out.file(), true, [] { return 11; });
  printer.SetBlock({"first line is long", "second"});
  // Cut to one column less than the width; each line erased to its end.
  EXPECT_EQ("first line\x1b[K\nsecond\x1b[K", out.Take());
  printer.SetBlock({"a", "b"});
  EXPECT_EQ("\r\x1b[1Aa\x1b[K\nb\x1b[K", out.Take());
  printer.SetBlock({"only"});
  EXPECT_EQ("\r\x1b[1Aonly\x1b[K\x1b[J", out.Take());  // the old second line goes
  EXPECT_EQ(1, printer.drawnLines());
}

TEST(LinePrinter, PrintsAboveTheBlockAndDrawsItAgain) {
  Capture out;
  LinePrinter printer(out.file(), true, [] { return 80; });
  printer.SetBlock({"x", "y", "z"});
  out.Take();
  printer.PrintAbove(out.file(), "message\n");
  EXPECT_EQ("\r\x1b[2A\x1b[Jmessage\nx\x1b[K\ny\x1b[K\nz\x1b[K", out.Take());
}

TEST(LinePrinter, CommittedBlockStaysAndTheNextStartsBelow) {
  Capture out;
  LinePrinter printer(out.file(), true, [] { return 80; });
  printer.SetBlock({"x", "y"});
  printer.CommitBlock();
  out.Take();
  printer.SetBlock({"z"});
  EXPECT_EQ("z\x1b[K", out.Take());
}

TEST(LinePrinter, DumbStreamsGetNoControlSequences) {
  Capture out;
  LinePrinter printer(out.file(), false, [] { return 80; });
  printer.SetBlock({"x", "y"});
  printer.ClearBlock();
  printer.PrintAbove(out.file(), "message\n");
  printer.CommitBlock();
  EXPECT_EQ("message\n", out.Take());
}
