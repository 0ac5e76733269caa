#include "tex/texlookup_win32.h"

#include <windows.h>

#include <map>

#include "ui/log.h"

namespace {

// Far below CreateProcessA's 32767 characters, whatever the names.
constexpr std::size_t kCommandBytes = 24000;

// Code page 932 text: a trail byte may be 0x5C, so the last separator is
// found by walking the characters.
std::size_t NameStart(const std::string& path) {
  std::size_t start = 0;
  for (std::size_t i = 0; i < path.size(); ++i) {
    unsigned char byte = static_cast<unsigned char>(path[i]);
    if ((byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC)) {
      ++i;
      continue;
    }
    if (byte == '\\' || byte == '/' || byte == ':') start = i + 1;
  }
  return start;
}

std::string BaseName(const std::string& path) { return path.substr(NameStart(path)); }


std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::string& line : TextLines(text))
    if (!line.empty()) lines.push_back(std::move(line));
  return lines;
}

std::string SystemErrorText(DWORD code) {
  char buffer[512] = "";
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           code, 0, buffer, sizeof buffer, nullptr);
  std::string text(buffer, n);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' '))
    text.pop_back();
  return text + " (" + std::to_string(code) + ")";
}

bool IsFile(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

bool RunForOutput(const std::string& commandLine, const std::string& directory,
                  std::string& output, std::string& error) {
  output.clear();
  SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
    error = SystemErrorText(GetLastError());
    return false;
  }
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  HANDLE nul = CreateFileA("NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           &inherit, OPEN_EXISTING, 0, nullptr);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = nul == INVALID_HANDLE_VALUE ? nullptr : nul;
  startup.hStdOutput = writeEnd;
  startup.hStdError = nul == INVALID_HANDLE_VALUE ? nullptr : nul;
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  PROCESS_INFORMATION process = {};
  BOOL created = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                                nullptr, directory.empty() ? nullptr : directory.c_str(),
                                &startup, &process);
  DWORD createError = created ? 0 : GetLastError();
  CloseHandle(writeEnd);
  if (nul != INVALID_HANDLE_VALUE) CloseHandle(nul);
  if (!created) {
    CloseHandle(readEnd);
    error = SystemErrorText(createError);
    return false;
  }
  char buffer[8192];
  DWORD read = 0;
  while (ReadFile(readEnd, buffer, sizeof buffer, &read, nullptr) && read > 0)
    output.append(buffer, read);
  CloseHandle(readEnd);
  WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return true;
}

std::string ProgramOfCommand(const std::string& commandLine) {
  std::string program;
  std::size_t start = commandLine.find_first_not_of(' ');
  if (start == std::string::npos) return std::string();
  if (commandLine[start] == '"') {
    std::size_t close = commandLine.find('"', start + 1);
    program = commandLine.substr(start + 1, close == std::string::npos ? std::string::npos
                                                                       : close - start - 1);
  } else {
    std::size_t end = commandLine.find_first_of(" \t", start);
    program = commandLine.substr(start, end == std::string::npos ? end : end - start);
  }
  if (program.empty()) return std::string();
  char found[MAX_PATH];
  char* namePart = nullptr;
  // SearchPath looks where CreateProcessA does: the program's own folder,
  // the current folder, the system folders and PATH.
  DWORD n = SearchPathA(nullptr, program.c_str(), ".exe", sizeof found, found, &namePart);
  if (n == 0 || n >= sizeof found) return std::string();
  return std::string(found, n);
}

std::string KpsewhichBeside(const std::string& mfCommand) {
  std::string program = ProgramOfCommand(mfCommand);
  if (program.empty()) return std::string();
  std::string candidate = program.substr(0, NameStart(program)) + "kpsewhich.exe";
  return IsFile(candidate) ? candidate : std::string();
}

bool KpsewhichLookup::Run(const std::vector<std::string>& options,
                          const std::vector<std::string>& names, const std::string& directory,
                          std::vector<std::string>& lines) {
  lines.clear();
  failure_.clear();
  std::string head = "\"" + program_ + "\"";
  for (const std::string& option : options) head += " " + option;
  std::size_t next = 0;
  do {
    std::string command = head;
    while (next < names.size() && command.size() + names[next].size() + 1 < kCommandBytes)
      command += " " + names[next++];
    std::string output, error;
    if (!RunForOutput(command, directory, output, error)) {
      failure_ = program_ + ": " + error;
      return false;
    }
    std::vector<std::string> found = SplitLines(output);
    lines.insert(lines.end(), found.begin(), found.end());
  } while (next < names.size());
  return true;
}

std::vector<std::string> KpsewhichLookup::FindFiles(TexFileKind kind,
                                                    const std::vector<std::string>& names) {
  std::vector<std::string> paths(names.size());
  const std::vector<std::string> asked = PlainNames(names);
  if (asked.empty()) return paths;
  const char* format = kind == TexFileKind::MetafontSource ? "mf"
                       : kind == TexFileKind::Tfm          ? "tfm"
                                                           : "vf";
  std::vector<std::string> lines;
  const std::string& directory =
      kind == TexFileKind::MetafontSource ? sourceDirectory_ : directory_;
  if (!Run({std::string("-format=") + format}, asked, directory, lines)) return paths;
  return MatchFoundFiles(kind, names, lines, BaseName);
}

std::vector<std::string> KpsewhichLookup::FindPkFiles(const std::vector<std::string>& names,
                                                      const std::string& mode, int dpi) {
  std::vector<std::string> paths(names.size());
  const std::vector<std::string> asked = PlainNames(names);
  if (asked.empty() || dpi <= 0 || !IsPlainFontName(mode)) return paths;
  std::vector<std::string> lines;
  if (!Run({"-format=pk", "-mode=" + mode, "-dpi=" + std::to_string(dpi)}, asked, directory_,
           lines))
    return paths;
  return MatchFoundPkFiles(names, lines, BaseName);
}

std::string KpsewhichLookup::Variable(const std::string& name) {
  if (!IsPlainFontName(name)) return std::string();
  std::vector<std::string> lines;
  if (!Run({"-var-value=" + name}, {}, directory_, lines) || lines.empty())
    return std::string();
  return lines[0];
}
