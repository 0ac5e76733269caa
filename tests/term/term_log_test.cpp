#include "ui/term/term_log.h"

#include <gtest/gtest.h>

TEST(ColourWanted, TerminalAndNoColor) {
  EXPECT_TRUE(ColourWanted(true, nullptr));
  EXPECT_TRUE(ColourWanted(true, ""));  // an empty NO_COLOR does not count
  EXPECT_FALSE(ColourWanted(true, "1"));
  EXPECT_FALSE(ColourWanted(false, nullptr));
}

TEST(FormatLogLine, TimeStampAndColourByKind) {
  std::tm local{};
  local.tm_hour = 9;
  local.tm_min = 5;
  local.tm_sec = 7;
  EXPECT_EQ("09:05:07 Close\n", FormatLogLine(LOG_INFO, "Close", local, false));
  EXPECT_EQ("\x1b[96m09:05:07 Total font = 3\x1b[0m\n",
            FormatLogLine(LOG_INFO, "Total font = 3", local, true));
  EXPECT_EQ("\x1b[93m09:05:07 x Not found\x1b[0m\n",
            FormatLogLine(LOG_WARNING, "x Not found", local, true));
  EXPECT_EQ("\x1b[91m09:05:07 GF file is not exist\x1b[0m\n",
            FormatLogLine(LOG_ALERT, "GF file is not exist", local, true));
  // A percent sign in the text is written as it is.
  EXPECT_EQ("09:05:07 100%\n", FormatLogLine(LOG_INFO, "100%", local, false));
  EXPECT_EQ("Master: stop request received",
            TerminalLogText("Master: Recieve Terminate request"));
  EXPECT_EQ("Total font = 3", TerminalLogText("Total font = 3"));
}
