// Splitting a command line into an argument vector by the rules a Windows
// program's C runtime uses, so that a child started without a shell on POSIX
// sees the same arguments as the Win32 program's child: blanks and tabs
// separate, double quotes group, backslashes are literal except before a
// double quote (2n backslashes + quote: n backslashes and a quote that
// toggles; 2n+1: n backslashes and a literal quote), and "" inside a quoted
// run gives a literal quote.
#pragma once

#include <string>
#include <vector>

std::vector<std::string> SplitCommandLine(const std::string& commandLine);
