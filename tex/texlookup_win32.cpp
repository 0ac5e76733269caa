#include "tex/texlookup_win32.h"

#include <windows.h>

#include <algorithm>
#include <functional>
#include <thread>
#include <utility>

#include "ui/log.h"

namespace {

// Far below CreateProcessA's 32767 characters, whatever the names.
constexpr std::size_t kCommandBytes = 24000;
constexpr std::size_t kNamesPerProcess = 1000;
constexpr std::size_t kProcessesAtOnce = 8;

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

namespace {

struct Started {
  HANDLE process = nullptr;
  HANDLE output = nullptr;  // the read end of the child's standard output
};

// Starts commandLine with its standard output on a pipe (standard input and
// error on NUL); false with error set.
bool StartForOutput(const std::string& commandLine, const std::string& directory,
                    Started& child, std::string& error) {
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
  CloseHandle(process.hThread);
  child.process = process.hProcess;
  child.output = readEnd;
  return true;
}

void ReadToEnd(HANDLE from, std::string& output) {
  char buffer[8192];
  DWORD read = 0;
  while (ReadFile(from, buffer, sizeof buffer, &read, nullptr) && read > 0)
    output.append(buffer, read);
}

// Waits for the child and closes its handles.
void Finish(Started& child) {
  CloseHandle(child.output);
  WaitForSingleObject(child.process, INFINITE);
  CloseHandle(child.process);
}

}  // namespace

bool RunForOutput(const std::string& commandLine, const std::string& directory,
                  std::string& output, std::string& error) {
  output.clear();
  Started child;
  if (!StartForOutput(commandLine, directory, child, error)) return false;
  ReadToEnd(child.output, output);
  Finish(child);
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

Win32KpsewhichLookup::Win32KpsewhichLookup(std::string program)
    : KpsewhichLookup(std::move(program), {kNamesPerProcess, kCommandBytes}) {}

bool Win32KpsewhichLookup::RunCalls(const std::string& program,
                                    const std::vector<std::vector<std::string>>& calls,
                                    const std::string& directory,
                                    std::vector<std::string>& outputs, std::string& failure) {
  outputs.assign(calls.size(), std::string());
  // Several at a time, each pipe read by a thread of its own: a child whose
  // pipe is full would wait for its reader, not search on.
  for (std::size_t first = 0; first < calls.size(); first += kProcessesAtOnce) {
    std::size_t last = std::min(calls.size(), first + kProcessesAtOnce);
    std::vector<Started> children;
    std::vector<std::thread> readers;
    bool started = true;
    for (std::size_t i = first; i < last; ++i) {
      // The names are plain font names and the options kiln's own: nothing
      // here needs quoting but the program's path.
      std::string command = "\"" + program + "\"";
      for (const std::string& argument : calls[i]) command += " " + argument;
      Started child;
      std::string error;
      if (!StartForOutput(command, directory, child, error)) {
        failure = program + ": " + error;
        started = false;
        break;
      }
      children.push_back(child);
      readers.emplace_back(ReadToEnd, child.output, std::ref(outputs[i]));
    }
    for (std::thread& reader : readers) reader.join();
    for (Started& child : children) Finish(child);
    if (!started) return false;
  }
  return true;
}

std::string Win32KpsewhichLookup::BaseName(const std::string& path) const {
  return path.substr(NameStart(path));
}
