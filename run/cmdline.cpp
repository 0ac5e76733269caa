#include "run/cmdline.h"

#include <cstddef>

namespace {
const char* const kProgramWord = "kiln.exe";
}

std::vector<std::string> argVector{kProgramWord};
int argCount = 1;
int autoExecErrors = 0;
int execShowMode = 0;

namespace {
void SetEmpty() {
  argVector.assign(1, kProgramWord);
  argCount = 1;
}
}  // namespace

void ParseCommandLine(const std::string& tail) {
  // Only the space separates: a tab, a quote or any other byte belongs to
  // the word it stands in.
  std::vector<std::string> words;
  std::size_t position = 0;
  for (;;) {
    position = tail.find_first_not_of(' ', position);
    if (position == std::string::npos) break;
    if (static_cast<int>(words.size()) == kMaxArgumentWords) {
      // A word too many: the whole tail counts as empty.
      SetEmpty();
      return;
    }
    std::size_t end = tail.find(' ', position);
    if (end == std::string::npos) end = tail.size();
    words.push_back(tail.substr(position, end - position));
    position = end;
  }
  SetArgumentWords(words);
}

void SetArgumentWords(const std::vector<std::string>& words) {
  if (static_cast<int>(words.size()) > kMaxArgumentWords) {
    SetEmpty();
    return;
  }
  argVector.assign(1, kProgramWord);
  argVector.insert(argVector.end(), words.begin(), words.end());
  argCount = static_cast<int>(argVector.size());
}
