#include "run/argsplit.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Argv = std::vector<std::string>;

struct SplitCase {
  const char* commandLine;
  Argv expected;
};

class SplitCommandLineTable : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommandLineTable, FollowsTheWindowsRuntimeRules) {
  EXPECT_EQ(GetParam().expected, SplitCommandLine(GetParam().commandLine))
      << "command line: " << GetParam().commandLine;
}

INSTANTIATE_TEST_SUITE_P(
    Blanks, SplitCommandLineTable,
    testing::Values(
        SplitCase{"", {}},
        SplitCase{" \t ", {}},
        SplitCase{"mf \\mode=nexthi; nonstopmode; mag=magstep1; input cmr10",
                  {"mf", "\\mode=nexthi;", "nonstopmode;", "mag=magstep1;", "input",
                   "cmr10"}},
        SplitCase{"  gftopk\tcmr10.400gf   cmr10.400pk  ",
                  {"gftopk", "cmr10.400gf", "cmr10.400pk"}}));

INSTANTIATE_TEST_SUITE_P(
    QuotesAndBackslashes, SplitCommandLineTable,
    testing::Values(
        SplitCase{"p \"a b\" c", {"p", "a b", "c"}},
        SplitCase{"p a\"b c\"d", {"p", "ab cd"}},
        SplitCase{"p \"unterminated run", {"p", "unterminated run"}},
        SplitCase{"p \"\"", {"p", ""}},
        SplitCase{"p \"\" x", {"p", "", "x"}},
        // "" inside a quoted run: a literal quote, still quoted.
        SplitCase{"p \"a\"\"b c\"", {"p", "a\"b c"}},
        // Backslashes are literal unless a quote follows.
        SplitCase{"p a\\b c:\\dir\\ d\\\\e", {"p", "a\\b", "c:\\dir\\", "d\\\\e"}},
        SplitCase{"p a\\\"b", {"p", "a\"b"}},            // 1 + quote: literal quote
        SplitCase{"p a\\\\\"b c\"", {"p", "a\\b c"}},     // 2 + quote: \ and toggle
        SplitCase{"p a\\\\\\\"b", {"p", "a\\\"b"}},       // 3 + quote: \ and literal "
        SplitCase{"p \"c:\\dir\\\\\" x", {"p", "c:\\dir\\", "x"}},
        SplitCase{"p trailing\\", {"p", "trailing\\"}}));

INSTANTIATE_TEST_SUITE_P(
    ProgramName, SplitCommandLineTable,
    testing::Values(
        // The program name knows no escapes: a quote ends it even after a
        // backslash.
        SplitCase{"\"C:\\Program Files\\mf.exe\" x", {"C:\\Program Files\\mf.exe", "x"}},
        SplitCase{"\"C:\\TeX\\bin\\\" x", {"C:\\TeX\\bin\\", "x"}},
        SplitCase{"my\" \"prog x", {"my prog", "x"}}));

}  // namespace
