#include "run/argsplit.h"

namespace {
bool IsBlank(char c) { return c == ' ' || c == '\t'; }
}  // namespace

std::vector<std::string> SplitCommandLine(const std::string& commandLine) {
  std::vector<std::string> words;
  const std::size_t size = commandLine.size();
  std::size_t p = 0;
  while (p < size && IsBlank(commandLine[p])) ++p;
  if (p == size) return words;

  // The program name: quotes group and are dropped, backslashes are always
  // literal (a path such as "C:\TeX\bin\" must keep its last backslash).
  std::string word;
  bool inQuotes = false;
  for (; p < size; ++p) {
    char c = commandLine[p];
    if (c == '"') {
      inQuotes = !inQuotes;
    } else if (!inQuotes && IsBlank(c)) {
      break;
    } else {
      word += c;
    }
  }
  words.push_back(word);

  // The arguments.
  for (;;) {
    while (p < size && IsBlank(commandLine[p])) ++p;
    if (p == size) break;
    word.clear();
    inQuotes = false;
    while (p < size) {
      std::size_t backslashes = 0;
      while (p < size && commandLine[p] == '\\') {
        ++backslashes;
        ++p;
      }
      bool copyCharacter = true;
      if (p < size && commandLine[p] == '"') {
        if (backslashes % 2 == 0) {
          if (inQuotes && p + 1 < size && commandLine[p + 1] == '"') {
            ++p;  // "" inside a quoted run: one literal quote
          } else {
            copyCharacter = false;
            inQuotes = !inQuotes;
          }
        }
        backslashes /= 2;
      }
      word.append(backslashes, '\\');
      if (p == size || (!inQuotes && IsBlank(commandLine[p]))) break;
      if (copyCharacter) word += commandLine[p];
      ++p;
    }
    words.push_back(word);
  }
  return words;
}
