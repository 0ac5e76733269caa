#include "tex/texlookup.h"

#include "ui/log.h"

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

std::string PkFontNameOf(std::string base) {
  if (base.size() < 3 || base.compare(base.size() - 2, 2, "pk") != 0) return std::string();
  base.resize(base.size() - 2);
  while (!base.empty() && base.back() >= '0' && base.back() <= '9') base.pop_back();
  if (base.empty() || base.back() != '.') return std::string();
  base.pop_back();
  return base;
}

namespace {

std::vector<std::string> PlainNames(const std::vector<std::string>& names) {
  std::vector<std::string> plain;
  for (const std::string& name : names)
    if (IsPlainFontName(name)) plain.push_back(name);
  return plain;
}

// kpsewhich's answers, one path a line; blank lines say nothing.
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::string& line : TextLines(text))
    if (!line.empty()) lines.push_back(std::move(line));
  return lines;
}

}  // namespace

void KpsewhichLookup::AddCalls(const std::vector<std::string>& options,
                               const std::vector<std::string>& names,
                               std::vector<std::vector<std::string>>& calls) const {
  std::size_t head = program_.size() + 2;  // quoted where the platform quotes
  for (const std::string& option : options) head += 1 + option.size();
  std::size_t next = 0;
  do {
    std::vector<std::string> call = options;
    std::size_t bytes = head;
    // At least one name a call, so that a long one cannot stall the split.
    while (next < names.size() && call.size() - options.size() < limits_.names &&
           (call.size() == options.size() || bytes + 1 + names[next].size() <= limits_.bytes)) {
      bytes += 1 + names[next].size();
      call.push_back(names[next++]);
    }
    calls.push_back(call);
  } while (next < names.size());
}

bool KpsewhichLookup::Run(const std::vector<std::vector<std::string>>& calls,
                          const std::string& directory,
                          std::vector<std::vector<std::string>>& lines) {
  lines.assign(calls.size(), std::vector<std::string>());
  failure_.clear();
  std::vector<std::string> outputs;
  if (!RunCalls(program_, calls, directory, outputs, failure_)) {
    if (failure_.empty()) failure_ = program_;
    return false;
  }
  processesStarted_ += static_cast<int>(calls.size());
  for (std::size_t i = 0; i < calls.size() && i < outputs.size(); ++i)
    lines[i] = SplitLines(outputs[i]);
  return true;
}

std::vector<std::string> KpsewhichLookup::FindFiles(TexFileKind kind,
                                                    const std::vector<std::string>& names) {
  std::vector<std::string> paths(names.size());
  const std::vector<std::string> asked = PlainNames(names);
  if (asked.empty()) return paths;
  // The format is named: kpsewhich does not take every suffix for its
  // format (NAME.vf is not searched as a virtual font).
  std::vector<std::string> options;
  if (kind == TexFileKind::MetafontSource) options.push_back("-format=mf");
  if (kind == TexFileKind::Tfm) options.push_back("-format=tfm");
  if (kind == TexFileKind::VirtualFont) options.push_back("-format=vf");
  std::vector<std::vector<std::string>> calls, lines;
  AddCalls(options, asked, calls);
  const std::string& directory =
      kind == TexFileKind::MetafontSource ? sourceDirectory_ : directory_;
  if (!Run(calls, directory, lines)) return paths;
  // The file's own name tells which name a path answers.
  std::map<std::string, std::string> byName;
  for (const std::vector<std::string>& output : lines)
    for (const std::string& line : output) byName.emplace(BaseName(line), line);
  for (std::size_t i = 0; i < names.size(); ++i) {
    if (!IsPlainFontName(names[i])) continue;
    auto found = byName.find(names[i] + TexFileSuffix(kind));
    if (found == byName.end()) found = byName.find(names[i]);
    if (found != byName.end()) paths[i] = found->second;
  }
  return paths;
}

std::vector<std::string> KpsewhichLookup::FindPkFiles(const std::vector<std::string>& names,
                                                      const std::string& mode, int dpi) {
  std::map<int, std::vector<std::string>> found = FindPkFilesAt({{dpi, names}}, mode);
  return found[dpi];
}

std::map<int, std::vector<std::string>> KpsewhichLookup::FindPkFilesAt(
    const std::map<int, std::vector<std::string>>& namesByDpi, const std::string& mode) {
  std::map<int, std::vector<std::string>> found;
  std::vector<std::vector<std::string>> calls;
  std::vector<int> callDpi;
  for (const auto& group : namesByDpi) {
    found[group.first].assign(group.second.size(), std::string());
    const std::vector<std::string> asked = PlainNames(group.second);
    if (asked.empty() || group.first <= 0 || !IsPlainFontName(mode)) continue;
    AddCalls({"-format=pk", "-mode=" + mode, "-dpi=" + std::to_string(group.first)}, asked,
             calls);
    callDpi.resize(calls.size(), group.first);
  }
  std::vector<std::vector<std::string>> lines;
  // Every resolution in one round, side by side where the platform can.
  if (calls.empty() || !Run(calls, directory_, lines)) return found;
  std::map<int, std::map<std::string, std::string>> byName;
  for (std::size_t i = 0; i < lines.size(); ++i)
    for (const std::string& line : lines[i])
      byName[callDpi[i]].emplace(PkFontNameOf(BaseName(line)), line);
  for (const auto& group : namesByDpi) {
    const std::map<std::string, std::string>& paths = byName[group.first];
    for (std::size_t i = 0; i < group.second.size(); ++i) {
      auto path = paths.find(group.second[i]);
      if (path != paths.end() && !group.second[i].empty()) found[group.first][i] = path->second;
    }
  }
  return found;
}

std::string KpsewhichLookup::Variable(const std::string& name) {
  if (!IsPlainFontName(name)) return std::string();
  std::vector<std::vector<std::string>> calls, lines;
  AddCalls({"-var-value=" + name}, {}, calls);
  if (!Run(calls, directory_, lines) || lines[0].empty()) return std::string();
  return lines[0][0];
}
