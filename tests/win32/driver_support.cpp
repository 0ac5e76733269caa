#include "driver_support.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>

namespace driver {

Options options;
const char* const kProgramKey = "Software\\Fontkiln\\kiln";
const char* const kVendorKey = "Software\\Fontkiln";

namespace {

// The stand-ins' controls, and kpathsea's variables that a case may set.
const char* const kControls[] = {"KILN_STANDIN_FAIL", "KILN_STANDIN_OFFBY", "KILN_STANDIN_SLEEP_MS",
                                 "KILN_STANDIN_GFTOPK_FAIL", "KILN_STANDIN_RECORD",
                                 "KILN_STANDIN_TIMES", "KILN_STANDIN_TEXDIR", "TEXMFHOME",
                                 "TEXMFCNF", "TEXMFDIST"};

// Where a user's TeX Live keeps its main tree; scripts/wine-tests.sh links
// Debian's there in the prefix.
const char* const kUserTexmfDist = "C:\\texlive\\2022\\texmf-dist";

void Print(const std::string& cp932) {
  std::string text = probe::Utf8(cp932);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

const char* BaseName(const char* path) {
  const char* base = path;
  for (const char* p = path; *p; ++p)
    if (*p == '/' || *p == '\\') base = p + 1;
  return base;
}

std::string Quoted(const std::string& s) { return "\"" + probe::Escaped(s) + "\""; }

}  // namespace

void Fail(Case& c, const char* file, int line, const char* format, ...) {
  char message[4096];
  va_list args;
  va_start(args, format);
  std::vsnprintf(message, sizeof message, format, args);
  va_end(args);
  ++c.failures;
  char where[300];
  std::snprintf(where, sizeof where, "  FAILED %s:%d: ", BaseName(file), line);
  Print(std::string(where) + message);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

bool Matches(const std::string& pattern, const std::string& text) {
  size_t p = 0, t = 0;
  while (p < pattern.size()) {
    if (pattern[p] == '#') {
      if (t >= text.size() || !std::isdigit(static_cast<unsigned char>(text[t]))) return false;
      while (t < text.size() && std::isdigit(static_cast<unsigned char>(text[t]))) ++t;
      ++p;
      continue;
    }
    if (t >= text.size() || pattern[p] != text[t]) return false;
    ++p;
    ++t;
  }
  return t == text.size();
}

bool CheckText(Case& c, const char* file, int line, const char* what, const std::string& expected,
               const std::string& actual) {
  if (Matches(expected, actual)) return true;
  Fail(c, file, line, "%s\n      expected %s\n      actual   %s", what, Quoted(expected).c_str(),
       Quoted(actual).c_str());
  return false;
}

bool CheckList(Case& c, const char* file, int line, const char* what,
               const std::vector<std::string>& expected, const std::vector<std::string>& actual) {
  if (expected == actual) return true;
  auto join = [](const std::vector<std::string>& v) {
    std::string s = "{";
    for (size_t i = 0; i < v.size(); ++i) s += (i ? ", " : "") + Quoted(v[i]);
    return s + "}";
  };
  Fail(c, file, line, "%s\n      expected %s\n      actual   %s", what, join(expected).c_str(),
       join(actual).c_str());
  return false;
}

bool CheckInt(Case& c, const char* file, int line, const char* what, long long expected,
              long long actual) {
  if (expected == actual) return true;
  Fail(c, file, line, "%s: expected %lld, actual %lld", what, expected, actual);
  return false;
}

// --- scratch files

bool FileExists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool WriteFileText(const std::string& path, const std::string& text) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  return std::fclose(f) == 0 && ok;
}

std::vector<std::string> ListFiles(const std::string& dir) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(data.cFileName);
  } while (FindNextFileA(find, &data));
  FindClose(find);
  std::sort(names.begin(), names.end());
  return names;
}

void RemoveTree(const std::string& path) {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      std::string full = path + "\\" + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(full);
      else
        DeleteFileA(full.c_str());
    } while (FindNextFileA(find, &data));
    FindClose(find);
  }
  RemoveDirectoryA(path.c_str());
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return lines;
  std::string line;
  int ch;
  while ((ch = std::fgetc(f)) != EOF) {
    if (ch == '\n') {
      lines.push_back(line);
      line.clear();
    } else if (ch != '\r') {
      line += static_cast<char>(ch);
    }
  }
  std::fclose(f);
  if (!line.empty()) lines.push_back(line);
  return lines;
}

bool ReadFileBytes(const std::string& path, std::string& bytes) {
  bytes.clear();
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  char buffer[65536];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
  bool ok = !std::ferror(f);
  std::fclose(f);
  return ok;
}

std::vector<std::string> RecordLines(Case& c, const std::string& prefix) {
  std::vector<std::string> out;
  for (const std::string& line : ReadLines(c.record)) {
    std::string entry = line.substr(0, line.rfind('|'));
    if (entry.compare(0, prefix.size(), prefix) == 0) out.push_back(entry);
  }
  return out;
}

std::vector<std::string> RecordDirectories(Case& c) {
  std::vector<std::string> out;
  for (const std::string& line : ReadLines(c.record)) {
    size_t bar = line.rfind('|');
    if (bar != std::string::npos) out.push_back(line.substr(bar + 1));
  }
  return out;
}

void SetControl(const char* name, const std::string& value) {
  SetEnvironmentVariableA(name, value.empty() ? nullptr : value.c_str());
}

void Prepare(Case& c, const std::string& header, const std::string& sets, const char* targetDir) {
  c.dir = options.caseDir.empty() ? options.scratch + "\\" + c.name : options.caseDir;
  // Its parents: the scratch root, or those of a user's directory such as
  // C:\texmf\fonts, which a fresh Wine prefix lacks.
  for (size_t bar = c.dir.find('\\', 3); bar != std::string::npos; bar = c.dir.find('\\', bar + 1))
    CreateDirectoryA(c.dir.substr(0, bar).c_str(), nullptr);
  // With --case-dir every case reuses one directory, which the previous
  // case's processes may not have let go of yet: retry for a while.
  REQUIRE(c, WaitUntil([&] {
    RemoveTree(c.dir);
    return CreateDirectoryA(c.dir.c_str(), nullptr) != 0;
  }, 5000));
  c.target = c.dir + "\\pk";
  REQUIRE(c, CreateDirectoryA(c.target.c_str(), nullptr));
  c.definition = c.dir + "\\FONTS.DAT";
  c.record = c.dir + "\\record.txt";
  std::string text = "400 nexthi\r\n118 bitgraph\r\n300 cx\r\nMF mf \\mode=\r\nTARGET_DIR " + (targetDir ? targetDir : c.target) +
                     "\r\n" + header + "BEGIN_SOURCE\r\n" + sets;
  REQUIRE(c, WriteFileText(c.definition, text));
  REQUIRE(c, WriteDataFilePath(c.definition));
  for (const char* name : kControls) SetControl(name, std::string());
  SetControl("KILN_STANDIN_RECORD", c.record);
  SetControl("PATH", options.standins + ";" + options.path);
}

void PrepareReal(Case& c, const std::string& header, const std::string& sets, const char* targetDir) {
  if (options.tex.empty() || options.reference.empty()) {
    Fail(c, __FILE__, __LINE__, "not run: no Windows TeX programs (--tex) or no reference (--reference)");
    throw Abort();
  }
  Prepare(c, "600 ljfour\r\n" + header, sets, targetDir);
  SetControl("PATH", options.tex + "\\bin;" + options.path);
  SetControl("TEXMFCNF", options.tex + "\\web2c");
  // In a user's directory (screenshots), METAFONT names its sources as a
  // user's installation would.
  if (!options.caseDir.empty() && FileExists(kUserTexmfDist)) SetControl("TEXMFDIST", kUserTexmfDist);
}

// --- registry

bool WriteDataFilePath(const std::string& path) {
  HKEY key;
  if (RegCreateKeyA(HKEY_CURRENT_USER, kProgramKey, &key) != ERROR_SUCCESS) return false;
  LONG r = RegSetValueExA(key, "DataFilePath", 0, REG_SZ, reinterpret_cast<const BYTE*>(path.c_str()),
                          static_cast<DWORD>(path.size() + 1));
  RegCloseKey(key);
  return r == ERROR_SUCCESS;
}

bool ReadDataFilePath(std::string* path) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kProgramKey, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  char buffer[1024] = "";
  DWORD size = sizeof buffer - 1, type = 0;
  LONG r = RegQueryValueExA(key, "DataFilePath", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  if (r != ERROR_SUCCESS || type != REG_SZ) return false;
  *path = buffer;
  return true;
}

bool KeyExists(const char* keyPath) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, keyPath, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

void DeleteProgramKey() { RegDeleteKeyA(HKEY_CURRENT_USER, kProgramKey); }

// --- kiln.exe

void Start(Case& c, const std::string& tail, bool attached) {
  std::string commandLine = "\"" + options.kiln + "\"";
  if (!tail.empty()) commandLine += " " + tail;
  std::vector<char> buffer(commandLine.begin(), commandLine.end());
  buffer.push_back('\0');
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  auto start = [&] {
    return CreateProcessA(options.kiln.c_str(), buffer.data(), nullptr, nullptr, FALSE,
                          attached ? 0 : DETACHED_PROCESS, nullptr, c.dir.c_str(), &startup,
                          &c.process) != 0;
  };
  // Wine on a busy machine now and then fails a start with an internal error
  // before the program runs at all; that says nothing about kiln.exe.
  bool started = start();
  for (int retry = 0; !started && GetLastError() == ERROR_INTERNAL_ERROR && retry < 3; ++retry) {
    Sleep(200);
    started = start();
  }
  if (!started) {
    Fail(c, __FILE__, __LINE__, "cannot start %s: error %lu", options.kiln.c_str(), GetLastError());
    throw Abort();
  }
}

bool Running(Case& c) {
  return c.process.hProcess && WaitForSingleObject(c.process.hProcess, 0) == WAIT_TIMEOUT;
}

static DWORD ExitCode(Case& c) {
  DWORD code = 0;
  GetExitCodeProcess(c.process.hProcess, &code);
  return code;
}

HWND WaitForAt(const char* file, int line, Case& c, probe::Kind kind, int timeoutMs) {
  DWORD start = GetTickCount();
  for (;;) {
    for (HWND dialog : probe::Dialogs(c.process.dwProcessId)) {
      if (probe::KindOf(dialog) != kind) continue;
      // A box counts once its text can be read: on a busy machine its thread
      // may not answer yet, and every box of the program has a text.
      if (kind == probe::Kind::Box && probe::BoxText(dialog).empty()) continue;
      return dialog;
    }
    if (!Running(c)) {
      Fail(c, file, line, "kiln.exe ended (exit code %lu) while waiting for the %s", ExitCode(c),
           probe::KindName(kind));
      throw Abort();
    }
    if (static_cast<int>(GetTickCount() - start) > timeoutMs) {
      Fail(c, file, line, "no %s within %d ms; showing:%s", probe::KindName(kind), timeoutMs,
           probe::Describe(c.process.dwProcessId).c_str());
      throw Abort();
    }
    Sleep(30);
  }
}

bool WaitGone(HWND window, int timeoutMs) {
  return WaitUntil([&] { return !IsWindow(window) || !IsWindowVisible(window); }, timeoutMs);
}

void Answer(Case& c, HWND box, int id) {
  PostMessageA(box, WM_COMMAND, static_cast<WPARAM>(id), 0);
  if (!WaitGone(box)) {
    Fail(c, __FILE__, __LINE__, "the box \"%s\" stayed open after answering %d", probe::Title(box).c_str(), id);
    throw Abort();
  }
}

HWND ExpectBoxAt(const char* file, int line, Case& c, const std::string& title, const std::string& text,
                 int answer, const char* shot) {
  HWND box = WaitForAt(file, line, c, probe::Kind::Box);
  CheckText(c, file, line, "message box title", title, probe::Title(box));
  CheckText(c, file, line, "message box text", text, probe::BoxText(box));
  if (shot) Shot(c, shot, {box});
  Answer(c, box, answer);
  return box;
}

void ExpectExitAt(const char* file, int line, Case& c, DWORD code, int timeoutMs) {
  DWORD start = GetTickCount();
  while (Running(c)) {
    for (HWND dialog : probe::Dialogs(c.process.dwProcessId)) {
      probe::Kind kind = probe::KindOf(dialog);
      // Other: a dialog whose controls are not there, one being torn down.
      if (kind == probe::Kind::Progress || kind == probe::Kind::Settings || kind == probe::Kind::Other)
        continue;
      Fail(c, file, line, "unexpected window before the end:%s",
           probe::Describe(c.process.dwProcessId).c_str());
      throw Abort();
    }
    if (static_cast<int>(GetTickCount() - start) > timeoutMs) {
      Fail(c, file, line, "kiln.exe still runs after %d ms; showing:%s", timeoutMs,
           probe::Describe(c.process.dwProcessId).c_str());
      throw Abort();
    }
    Sleep(30);
  }
  CheckInt(c, file, line, "exit code", code, ExitCode(c));
}

void Finish(Case& c) {
  if (!c.process.hProcess) return;
  if (Running(c)) {
    Fail(c, __FILE__, __LINE__, "kiln.exe still running at the end of the case; killed. Showing:%s",
         probe::Describe(c.process.dwProcessId).c_str());
    TerminateProcess(c.process.hProcess, 99);
    WaitForSingleObject(c.process.hProcess, 5000);
  }
  CloseHandle(c.process.hThread);
  CloseHandle(c.process.hProcess);
  c.process = PROCESS_INFORMATION{};
}

namespace {

// The bytes after a PK preamble's comment, or "" when it is no PK file
// (pre 247, id 89, comment length, comment).
std::string AfterPkComment(const std::string& pk) {
  if (pk.size() < 3 || static_cast<unsigned char>(pk[0]) != 247 || pk[1] != 89) return std::string();
  size_t length = static_cast<unsigned char>(pk[2]);
  return pk.size() < 3 + length ? std::string() : pk.substr(3 + length);
}

}  // namespace

void CheckPkLikeReference(Case& c, const std::string& dir, const std::vector<std::string>& pk) {
  for (const std::string& name : pk) {
    std::string built, reference;
    if (!ReadFileBytes(dir + "\\" + name, built)) {
      Fail(c, __FILE__, __LINE__, "%s\\%s cannot be read", dir.c_str(), name.c_str());
      continue;
    }
    if (!ReadFileBytes(options.reference + "\\" + name, reference)) {
      Fail(c, __FILE__, __LINE__, "the terminal program built no %s", name.c_str());
      continue;
    }
    std::string a = AfterPkComment(built), b = AfterPkComment(reference);
    if (a.empty() || a != b) {
      size_t at = 0;
      while (at < a.size() && at < b.size() && a[at] == b[at]) ++at;
      Fail(c, __FILE__, __LINE__, "%s\\%s (%u bytes) differs from the terminal program's (%u bytes) "
           "%u bytes after the comment", dir.c_str(), name.c_str(), static_cast<unsigned>(built.size()),
           static_cast<unsigned>(reference.size()), static_cast<unsigned>(at));
    }
  }
}

void Shot(Case& c, const char* name, const std::vector<HWND>& windows) {
  if (options.shots.empty()) return;
  CreateDirectoryA(options.shots.c_str(), nullptr);
  // Wine paints asynchronously; give the windows a moment to be drawn.
  Sleep(400);
  std::string path = options.shots + "\\" + name + ".bmp";
  if (!probe::SaveScreenArea(windows, path)) Fail(c, __FILE__, __LINE__, "screenshot %s failed", path.c_str());
}

}  // namespace driver

namespace driver {

std::vector<std::string> ConsoleLines(Case& c) {
  std::vector<std::string> lines;
  FreeConsole();
  if (!AttachConsole(c.process.dwProcessId)) return lines;
  HANDLE out = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (out != INVALID_HANDLE_VALUE && GetConsoleScreenBufferInfo(out, &info)) {
    std::vector<char> row(static_cast<size_t>(info.dwSize.X));
    for (SHORT y = 0; y < info.dwSize.Y; ++y) {
      DWORD read = 0;
      COORD at = {0, y};
      if (!ReadConsoleOutputCharacterA(out, row.data(), static_cast<DWORD>(row.size()), at, &read)) break;
      std::string line(row.data(), read);
      size_t end = line.find_last_not_of(' ');
      lines.push_back(end == std::string::npos ? std::string() : line.substr(0, end + 1));
    }
  }
  if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
  FreeConsole();
  return lines;
}

std::vector<std::string> ListDirectories(const std::string& dir) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((dir + "\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    std::string name = data.cFileName;
    if ((data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != "." && name != "..")
      names.push_back(name);
  } while (FindNextFileA(find, &data));
  FindClose(find);
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace driver
