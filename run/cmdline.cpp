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

std::vector<std::string> documentArguments;

namespace {
bool EndsWithDvi(const std::string& path) {
  if (path.size() < 5) return false;
  std::string suffix = path.substr(path.size() - 4);
  for (char& ch : suffix)
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  return suffix == ".dvi";
}
}  // namespace

std::vector<std::string> TakeDocumentWords(std::string& tail,
                                           bool (*isDocument)(const std::string& path)) {
  std::vector<std::string> documents;
  std::string rest;
  std::size_t position = 0;
  while (position < tail.size()) {
    if (tail[position] == ' ') {
      rest += ' ';
      ++position;
      continue;
    }
    // A quoted stretch runs to the next quote; an unclosed one is a plain word.
    std::size_t end = std::string::npos;
    std::string path;
    if (tail[position] == '"') {
      std::size_t close = tail.find('"', position + 1);
      if (close != std::string::npos &&
          (close + 1 == tail.size() || tail[close + 1] == ' ')) {
        end = close + 1;
        path = tail.substr(position + 1, close - position - 1);
      }
    }
    if (end == std::string::npos) {
      end = tail.find(' ', position);
      if (end == std::string::npos) end = tail.size();
      path = tail.substr(position, end - position);
    }
    if (EndsWithDvi(path) && isDocument(path)) {
      documents.push_back(path);
    } else {
      rest.append(tail, position, end - position);
    }
    position = end;
  }
  if (!documents.empty()) tail = rest;
  return documents;
}
