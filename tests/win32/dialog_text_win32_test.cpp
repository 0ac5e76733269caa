// Texts cut to fit a buffer (console lines, paths) never end in half a
// double-byte character of code page 932.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "ui/win32/app.h"

namespace {

TEST(CutToBytes, KeepsDoubleByteCharactersWhole) {
  if (GetACP() != 932) GTEST_SKIP() << "needs the ANSI code page 932 (LANG=ja_JP.UTF-8)";
  const std::string kanji = "\x95\x5c";  // 表: its second byte is a backslash
  struct Case {
    std::string text;
    std::size_t maximum;
    std::string expected;
  } cases[] = {
      {"abc", 3, "abc"},
      {"abcd", 3, "abc"},
      {"a" + kanji, 2, "a"},
      {"a" + kanji, 3, "a" + kanji},
      {kanji + kanji, 3, kanji},
      {kanji + "b", 1, ""},
      {"", 0, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.maximum);
    EXPECT_EQ(CutToBytes(c.text, c.maximum), c.expected);
  }
}

}  // namespace
