#include "tex/texlookup.h"

#include <algorithm>
#include <map>

const char* TexFileSuffix(TexFileKind kind) {
  switch (kind) {
    case TexFileKind::MetafontSource: return ".mf";
    case TexFileKind::Tfm: return ".tfm";
    case TexFileKind::VirtualFont: return ".vf";
    case TexFileKind::Named: return "";
  }
  return "";
}

bool IsPlainFontName(const std::string& name) {
  // Its PK, GF and log files must stay within a file name's 255 bytes, with
  // a resolution of ten digits.
  constexpr std::size_t kMaxFontNameBytes = 240;
  if (name.empty() || name.size() > kMaxFontNameBytes || name[0] == '-' || name[0] == '.')
    return false;
  for (char c : name) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                 (c >= '0' && c <= '9') || c == '.' || c == '_' || c == '+' || c == '-';
    if (!plain) return false;
  }
  return true;
}

bool IsSafeFontFileName(const std::string& name) {
  constexpr std::size_t kMaxFontNameBytes = 240;  // as for a plain name
  if (name.empty() || name.size() > kMaxFontNameBytes || name[0] == '-' || name[0] == '.')
    return false;
  for (char c : name) {
    const unsigned char byte = static_cast<unsigned char>(c);
    // A double quote would regroup the child's arguments ("-x" is -x).
    if (byte < 0x20 || byte == 0x7f || c == '/' || c == '\\' || c == '"') return false;
  }
  return true;
}

std::string VisibleText(const std::string& text) {
  constexpr std::size_t kShownBytes = 80;
  static const char kHex[] = "0123456789abcdef";
  // Built in a buffer of the largest size and copied once.
  char shown[kShownBytes * 4 + 3];
  std::size_t length = 0;
  const std::size_t count = std::min(text.size(), kShownBytes);
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x20 || c >= 0x7f) {
      shown[length++] = '\\';
      shown[length++] = 'x';
      shown[length++] = kHex[c >> 4];
      shown[length++] = kHex[c & 15];
    } else {
      shown[length++] = static_cast<char>(c);
    }
  }
  if (text.size() > kShownBytes) {
    for (int dot = 0; dot < 3; ++dot) shown[length++] = '.';
  }
  return std::string(shown, length);
}

std::vector<std::string> CachedTexLookup::FindFiles(TexFileKind kind,
                                                    const std::vector<std::string>& names) {
  const int key = static_cast<int>(kind);
  std::vector<std::string> unknown;
  for (const std::string& name : names)
    if (!files_.count({key, name})) {
      unknown.push_back(name);
      files_[{key, name}];  // asked once even when named twice here
    }
  if (!unknown.empty()) {
    std::vector<std::string> found = lookup_.FindFiles(kind, unknown);
    for (std::size_t i = 0; i < unknown.size() && i < found.size(); ++i)
      files_[{key, unknown[i]}] = found[i];
  }
  std::vector<std::string> paths;
  for (const std::string& name : names) paths.push_back(files_[{key, name}]);
  return paths;
}

std::vector<std::string> CachedTexLookup::FindPkFiles(const std::vector<std::string>& names,
                                                      const std::string& mode, int dpi) {
  std::map<std::string, std::string>& known = pk_[{mode, dpi}];
  std::vector<std::string> unknown;
  for (const std::string& name : names)
    if (!known.count(name)) {
      unknown.push_back(name);
      known[name];
    }
  if (!unknown.empty()) {
    std::vector<std::string> found = lookup_.FindPkFiles(unknown, mode, dpi);
    for (std::size_t i = 0; i < unknown.size() && i < found.size(); ++i)
      known[unknown[i]] = found[i];
  }
  std::vector<std::string> paths;
  for (const std::string& name : names) paths.push_back(known[name]);
  return paths;
}

std::map<int, std::vector<std::string>> CachedTexLookup::FindPkFilesAt(
    const std::map<int, std::vector<std::string>>& namesByDpi, const std::string& mode) {
  std::map<int, std::vector<std::string>> unknown;
  for (const auto& group : namesByDpi) {
    std::map<std::string, std::string>& known = pk_[{mode, group.first}];
    for (const std::string& name : group.second)
      if (!known.count(name)) {
        unknown[group.first].push_back(name);
        known[name];
      }
  }
  if (!unknown.empty()) {
    std::map<int, std::vector<std::string>> found = lookup_.FindPkFilesAt(unknown, mode);
    for (const auto& group : unknown) {
      const std::vector<std::string>& paths = found[group.first];
      std::map<std::string, std::string>& known = pk_[{mode, group.first}];
      for (std::size_t i = 0; i < group.second.size() && i < paths.size(); ++i)
        known[group.second[i]] = paths[i];
    }
  }
  std::map<int, std::vector<std::string>> answers;
  for (const auto& group : namesByDpi) {
    std::map<std::string, std::string>& known = pk_[{mode, group.first}];
    for (const std::string& name : group.second) answers[group.first].push_back(known[name]);
  }
  return answers;
}

std::string CachedTexLookup::Variable(const std::string& name) {
  auto found = variables_.find(name);
  if (found != variables_.end()) return found->second;
  return variables_[name] = lookup_.Variable(name);
}

std::vector<std::string> PlainNames(const std::vector<std::string>& names) {
  std::vector<std::string> plain;
  for (const std::string& name : names)
    if (IsPlainFontName(name)) plain.push_back(name);
  return plain;
}

std::vector<std::string> MatchFoundFiles(TexFileKind kind, const std::vector<std::string>& names,
                                         const std::vector<std::string>& lines,
                                         BaseNameFunction baseName) {
  std::vector<std::string> paths(names.size());
  std::map<std::string, std::string> byName;
  for (const std::string& line : lines) byName.emplace(baseName(line), line);
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (!IsPlainFontName(names[i])) continue;
    auto found = byName.find(names[i] + TexFileSuffix(kind));
    if (found == byName.end()) found = byName.find(names[i]);
    if (found != byName.end()) paths[i] = found->second;
  }
  return paths;
}

std::string PkFontNameOf(std::string base) {
  if (base.size() < 3 || base.compare(base.size() - 2, 2, "pk") != 0) return std::string();
  base.resize(base.size() - 2);
  while (!base.empty() && base.back() >= '0' && base.back() <= '9') base.pop_back();
  if (base.empty() || base.back() != '.') return std::string();
  base.pop_back();
  return base;
}

std::vector<std::string> MatchFoundPkFiles(const std::vector<std::string>& names,
                                           const std::vector<std::string>& lines,
                                           BaseNameFunction baseName) {
  std::vector<std::string> paths(names.size());
  std::map<std::string, std::string> byName;
  for (const std::string& line : lines) byName.emplace(PkFontNameOf(baseName(line)), line);
  for (std::size_t i = 0; i < names.size(); ++i) {
    auto found = byName.find(names[i]);
    if (found != byName.end() && !names[i].empty()) paths[i] = found->second;
  }
  return paths;
}
