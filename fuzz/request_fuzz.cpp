// What reaches the on-demand maker from outside: its own arguments (from
// kpathsea) and the command line of the program that runs it (read from
// /proc), one word a line. Whatever is accepted must be safe to use: a plain
// font name and mode, resolutions in range, and a document named.
#include <cstdint>
#include <string>
#include <vector>

#include "tex/driver.h"
#include "tex/driver_command.h"
#include "tex/maker_request.h"
#include "tex/texlookup.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  std::vector<std::string> words;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    words.push_back(text.substr(start, end - start));
    start = end + 1;
  }

  MakerRequest request;
  std::string why;
  if (ParseMakerRequest(words, request, why)) {
    if (!IsPlainFontName(request.name) || (!request.mode.empty() && !IsPlainFontName(request.mode)))
      __builtin_trap();
    if (request.dpi <= 0 || request.dpi > kMaxDriverResolution || request.baseDpi <= 0 ||
        request.baseDpi > kMaxDriverResolution || request.answerFd < 1)
      __builtin_trap();
    if (!request.destdir.empty() && !UsableDestdir(request.destdir)) __builtin_trap();
  } else if (why.empty()) {
    __builtin_trap();
  }
  for (const std::string& word : words)
    if (ResolutionOfMag(word, 600) < 0 || ResolutionOfMag(word, 600) > kMaxDriverResolution)
      __builtin_trap();

  DriverCommand command;
  if (ReadDriverCommand(words, command, why)) {
    if (command.dvi.empty() || command.resolution < 0 ||
        command.resolution > kMaxDriverResolution || command.oversample < 0 ||
        command.oversample > kMaxOversampling || command.magnification < 0)
      __builtin_trap();
    if (!command.mode.empty() && !IsPlainFontName(command.mode)) __builtin_trap();
  } else if (why.empty()) {
    __builtin_trap();
  }
  return 0;
}
