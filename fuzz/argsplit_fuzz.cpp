// The POSIX command-line splitter: never more bytes out than in, and a line
// made of plain words splits back into those words.
#include <cstdint>
#include <string>

#include "run/argsplit.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> words = SplitCommandLine(text);
  std::size_t total = 0;
  for (const auto& word : words) total += word.size();
  if (total > text.size()) __builtin_trap();

  // Re-quote every argument and split again behind a plain program name
  // (the program name follows rules of its own): the arguments must survive.
  if (words.size() < 2) return 0;
  std::vector<std::string> arguments(words.begin() + 1, words.end());
  std::string quoted = "program ";
  for (const auto& word : arguments) {
    if (word.find('\0') != std::string::npos) return 0;
    quoted += '"';
    std::size_t backslashes = 0;
    for (char c : word) {
      if (c == '\\') {
        ++backslashes;
        continue;
      }
      if (c == '"') {
        quoted.append(backslashes * 2 + 1, '\\');
      } else {
        quoted.append(backslashes, '\\');
      }
      backslashes = 0;
      quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    quoted += "\" ";
  }
  std::vector<std::string> again = SplitCommandLine(quoted);
  if (again.empty() || std::vector<std::string>(again.begin() + 1, again.end()) != arguments)
    __builtin_trap();
  return 0;
}
