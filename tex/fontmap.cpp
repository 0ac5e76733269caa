// The map format both dvips and pdfTeX read: per line a TeX font name, an
// optional PostScript name, PostScript code in double quotes, and files
// introduced by "<" ("<<" a whole download, "<[" an encoding; a file named
// .enc is an encoding too). "<" may stand apart from its file.
#include "tex/fontmap.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }

bool EndsWith(const std::string& text, const std::string& suffix) {
  return text.size() >= suffix.size() &&
         text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The words of a line; a quoted part is one word (quotes kept), unterminated
// to the line's end.
std::vector<std::string> MapWords(const std::string& line) {
  std::vector<std::string> words;
  std::size_t p = 0;
  while (p < line.size()) {
    while (p < line.size() && IsBlank(line[p])) ++p;
    if (p >= line.size()) break;
    std::size_t start = p;
    if (line[p] == '"') {
      std::size_t close = line.find('"', p + 1);
      p = close == std::string::npos ? line.size() : close + 1;
    } else {
      while (p < line.size() && !IsBlank(line[p]) && line[p] != '"') ++p;
    }
    words.push_back(line.substr(start, p - start));
  }
  return words;
}

}  // namespace

std::map<std::string, FontMapEntry> ParseFontMap(const std::string& text) {
  std::map<std::string, FontMapEntry> entries;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    start = end + 1;
    if (line.empty() || line[0] == '%' || line[0] == '*' || line[0] == '#' || line[0] == ';')
      continue;
    std::vector<std::string> words = MapWords(line);
    if (words.empty() || words[0][0] == '"' || words[0][0] == '<') continue;
    FontMapEntry entry;
    entry.texName = words[0];
    for (std::size_t i = 1; i < words.size(); ++i) {
      std::string word = words[i];
      if (word.empty() || word[0] != '<') continue;
      bool encoding = false;
      std::size_t skip = 1;
      if (word.size() > 1 && word[1] == '[') {
        encoding = true;
        skip = 2;
      } else if (word.size() > 1 && word[1] == '<') {
        skip = 2;
      }
      std::string file = word.substr(skip);
      // "< file": the file is the next word.
      if (file.empty() && i + 1 < words.size() && words[i + 1][0] != '<' &&
          words[i + 1][0] != '"')
        file = words[++i];
      if (file.empty()) continue;
      if (encoding || EndsWith(file, ".enc")) continue;
      entry.fontFiles.push_back(file);
    }
    entries.emplace(entry.texName, std::move(entry));
  }
  return entries;
}
