// The one shared definition reader, its lookups and the string routines.
//
// The file is opened in binary and the text-mode rules are applied here, so
// both platforms see the same bytes: CR LF becomes LF (a lone CR stays), a
// Ctrl-Z byte ends the file. A physical line is handed out in pieces of at
// most kLinePieceBytes bytes, counted after that conversion, and a piece ends
// at its first NUL byte as a C string would. Memory stays bounded by one
// read buffer and one piece, however large the file.
#include "deffile/reader.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string_view>

#include "run/filesys.h"
#include "ui/dialogue.h"
#include "ui/log.h"

namespace {

constexpr char kCtrlZ = 0x1A;
constexpr std::size_t kReadChunkBytes = 4096;

// Where the bytes come from: the file, or memory for a served path.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Up to size bytes into buffer; 0 at the end or on a read error, which
  // Failed() then tells.
  virtual std::size_t Read(char* buffer, std::size_t size) = 0;
  virtual bool Failed() const = 0;
};

class FileSource : public ByteSource {
 public:
  explicit FileSource(std::FILE* file) : file_(file) {}
  ~FileSource() override { std::fclose(file_); }
  std::size_t Read(char* buffer, std::size_t size) override {
    return std::fread(buffer, 1, size, file_);
  }
  bool Failed() const override { return std::ferror(file_) != 0; }

 private:
  std::FILE* file_;
};

class MemorySource : public ByteSource {
 public:
  void Start(const std::string* bytes) {
    bytes_ = bytes;
    offset_ = 0;
  }
  std::size_t Read(char* buffer, std::size_t size) override {
    std::size_t count = std::min(size, bytes_->size() - offset_);
    std::memcpy(buffer, bytes_->data() + offset_, count);
    offset_ += count;
    return count;
  }
  bool Failed() const override { return false; }

 private:
  const std::string* bytes_ = nullptr;
  std::size_t offset_ = 0;
};

struct DefinitionReader {
  // The open source: file, or memory (which is reopened without an
  // allocation, as the lookups open the file many times over).
  ByteSource* source = nullptr;
  std::unique_ptr<FileSource> file;
  MemorySource memory;
  char buffer[kReadChunkBytes];
  std::size_t length = 0;    // bytes in buffer
  std::size_t position = 0;  // next unread byte in buffer
  bool ended = false;        // Ctrl-Z or the physical end was reached
  std::string path;          // for the message when a read fails
};

DefinitionReader reader;

struct ServedFile {
  bool active = false;
  std::string path;
  std::string bytes;
};

ServedFile served;

// The lookups' line and fields, kept from call to call: a lookup scans the
// whole file, and fresh ones would allocate on every call.
std::string lookupLine;
std::vector<std::string> lookupFields;

// The Japanese text does not name the file (its "%.0s" prints nothing); a
// translation may, and should.
[[noreturn]] void FailToOpen(const std::string& path) {
  MessageBoxPrintf(nullptr, kProductTitle, BOX_ICONERROR | BOX_SETFOREGROUND,
                   TR("定義ファイルのオープンが出来ません(readfile)%.0s"), path.c_str());
  ExitProgram(1);
}

void OpenFileSource(const std::string& path) {
  // A directory opens for reading on POSIX but not on Windows, and a FIFO
  // would keep the open waiting for a writer: only a plain file is read,
  // so every platform fails the same way and none hangs.
  if (!IsRegularFile(path)) FailToOpen(path);
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) FailToOpen(path);
  reader.file = std::make_unique<FileSource>(file);
  reader.source = reader.file.get();
}

void OpenReader(const std::string& path) {
  if (served.active && path == served.path) {
    reader.memory.Start(&served.bytes);
    reader.source = &reader.memory;
  } else {
    OpenFileSource(path);
  }
  reader.path = path;
  reader.length = 0;
  reader.position = 0;
  reader.ended = false;
}

// Raw next byte of the file, or -1 at its physical end. A read error is
// treated like a file that cannot be opened: going on would hand out a
// silently truncated file (a font set missing its last fonts).
int RawByte() {
  if (reader.position == reader.length) {
    if (reader.ended) return -1;
    reader.length = reader.source->Read(reader.buffer, sizeof reader.buffer);
    reader.position = 0;
    if (reader.length == 0) {
      if (reader.source->Failed()) {
        std::string path = reader.path;
        CloseDefinitionReader();
        FailToOpen(path);
      }
      reader.ended = true;
      return -1;
    }
  }
  return static_cast<unsigned char>(reader.buffer[reader.position++]);
}

// The first byte in [from, from + size) that the text-mode rules look at
// (LF, CR, Ctrl-Z), or null. Whole runs of other bytes are then moved at
// once, not byte by byte.
const char* FirstSpecialByte(const char* from, std::size_t size) {
  const char* found = static_cast<const char*>(std::memchr(from, '\n', size));
  if (found) size = static_cast<std::size_t>(found - from);
  for (char special : {'\r', kCtrlZ}) {
    const char* other = static_cast<const char*>(std::memchr(from, special, size));
    if (other) {
      found = other;
      size = static_cast<std::size_t>(other - from);
    }
  }
  return found;
}

// One physical line piece after the text-mode rules: bytes up to and
// including LF, at most kLinePieceBytes. false when no byte is left.
bool ReadPiece(std::string& piece) {
  piece.clear();
  while (piece.size() < kLinePieceBytes) {
    if (reader.position == reader.length) {
      if (RawByte() == -1) break;  // refills the buffer, or ends
      --reader.position;
    }
    const char* from = reader.buffer + reader.position;
    const std::size_t size =
        std::min(reader.length - reader.position, kLinePieceBytes - piece.size());
    const char* special = FirstSpecialByte(from, size);
    const std::size_t run = special ? static_cast<std::size_t>(special - from) : size;
    piece.append(from, run);
    reader.position += run;
    if (!special) continue;
    ++reader.position;
    if (*special == kCtrlZ) {
      reader.ended = true;
      reader.position = reader.length;
      break;
    }
    if (*special == '\n') {
      piece.push_back('\n');
      break;
    }
    // CR LF reads as LF. Any other byte after a CR is read again next
    // (the buffer still holds it: RawByte refills only when it is used up).
    int next = RawByte();
    if (next == '\n') {
      piece.push_back('\n');
      break;
    }
    if (next != -1) --reader.position;
    piece.push_back('\r');
  }
  return !piece.empty();
}

// Turns a piece into a logical line (possibly empty).
void MakeLogicalLine(std::string& line) {
  // A piece holds LF only as its last byte, and it would become a blank.
  if (!line.empty() && line.back() == '\n') line.pop_back();
  std::size_t nul = line.find('\0');
  if (nul != std::string::npos) line.erase(nul);
  std::size_t comment = line.find('#');
  if (comment != std::string::npos) line.erase(comment);
  ReplaceChar(line, '\t', ' ');
  ReplaceChar(line, '\r', ' ');
  TrimBlanks(line);
}

// The first word of a logical line (which has no leading blank), as a
// split's first field: a lookup passes over most lines on it alone, without
// splitting them.
std::string_view FirstWord(const std::string& line) {
  return std::string_view(line).substr(0, line.find(' '));
}

bool EndsWithColon(const std::string& text) {
  return !text.empty() && text.back() == ':';
}

// A decimal text of digits only, as an int; false when it does not fit.
bool ParseResolution(const std::string& digits, int& value) {
  long long result = 0;
  for (char c : digits) {
    result = result * 10 + (c - '0');
    if (result > INT_MAX) return false;
  }
  value = static_cast<int>(result);
  return true;
}

// The Windows C library's file status fails for "dir/" where POSIX finds
// the directory; the status test is made without trailing slashes so both
// platforms agree. Roots ("/", "c:/") keep theirs. Only '/' is taken off: a
// final backslash can be the second byte of a double-byte character.
std::string WithoutTrailingSlashes(const std::string& path) {
  std::string result = path;
  while (result.size() > 1 && result.back() == '/' &&
         !(result.size() == 3 && result[1] == ':'))
    result.pop_back();
  return result;
}

}  // namespace

bool ReadDefinitionLine(const std::string& path, std::string& line) {
  if (!reader.source) OpenReader(path);
  for (;;) {
    if (!ReadPiece(line)) {
      CloseDefinitionReader();
      line.clear();
      return false;
    }
    MakeLogicalLine(line);
    if (!line.empty()) return true;
  }
}

void CloseDefinitionReader() {
  if (!reader.source) return;
  reader.source = nullptr;
  reader.file.reset();
  reader.length = 0;
  reader.position = 0;
  reader.ended = false;
}

bool DefinitionReaderIsOpen() { return reader.source != nullptr; }

void ServeDefinitionFromMemory(const std::string& path, const char* data, std::size_t size) {
  CloseDefinitionReader();
  served.active = true;
  served.path = path;
  served.bytes.assign(data, size);
}

void ServeDefinitionFromDisk() {
  CloseDefinitionReader();
  served = ServedFile();
}

int NextMode(const std::string& path, int& resolution, std::string& modeName) {
  std::string& line = lookupLine;
  std::vector<std::string>& fields = lookupFields;
  while (ReadDefinitionLine(path, line)) {
    const std::string_view word = FirstWord(line);
    if (word.back() != ':' && !IsAllDigits(word)) continue;
    if (SplitFields(line, ' ', fields, 9) != 2) continue;
    if (EndsWithColon(fields[0])) {
      CloseDefinitionReader();
      return 0;
    }
    // A resolution beyond an int is no resolution: the line is passed over
    // like any other line that is not a mode line.
    int value = 0;
    if (IsAllDigits(fields[0]) && ParseResolution(fields[0], value)) {
      resolution = value;
      modeName = fields[1];
      return 1;
    }
  }
  return 0;
}

int NextFontSetLabel(const std::string& path, std::string& label) {
  std::string& line = lookupLine;
  while (ReadDefinitionLine(path, line)) {
    if (EndsWithColon(line)) {
      label = line;
      return 1;
    }
  }
  return 0;
}

int FindForce(const std::string& path) {
  std::string& line = lookupLine;
  while (ReadDefinitionLine(path, line)) {
    if (line == "FORCE") {
      CloseDefinitionReader();
      return 1;
    }
    if (line == "BEGIN_SOURCE") {
      CloseDefinitionReader();
      return 0;
    }
  }
  return 0;
}

int ReadTargetDir(const std::string& path, std::string& directory) {
  directory = "*";
  std::string& line = lookupLine;
  std::vector<std::string>& fields = lookupFields;
  while (ReadDefinitionLine(path, line)) {
    const std::string_view word = FirstWord(line);
    if (word != "BEGIN_SOURCE" && word != "TARGET_DIR") continue;
    if (SplitFields(line, ' ', fields, 3) != 2) continue;
    if (fields[0] == "BEGIN_SOURCE") {
      CloseDefinitionReader();
      return 0;
    }
    if (fields[0] == "TARGET_DIR") {
      directory = fields[1];
      CloseDefinitionReader();
      return DirectoryStatus(WithoutTrailingSlashes(directory)) == 1 ? 1 : 0;
    }
  }
  return 0;
}

int ReadMfCommand(const std::string& path, std::string& command) {
  CloseDefinitionReader();
  std::string& line = lookupLine;
  std::vector<std::string>& fields = lookupFields;
  while (ReadDefinitionLine(path, line)) {
    const std::string_view word = FirstWord(line);
    if (word != "BEGIN_SOURCE" && word != "MF") continue;
    // Split into the first word and the rest; the count is of no interest.
    SplitFields(line, ' ', fields, 2);
    if (fields[0] == "BEGIN_SOURCE") {
      CloseDefinitionReader();
      return 0;
    }
    // "MF" without a value names no command; it counts as no MF line, so a
    // later MF line in the header can still give one.
    if (fields[0] == "MF" && fields.size() == 2) {
      command = fields[1];
      CloseDefinitionReader();
      return 1;
    }
  }
  return 0;
}

int ReadErrorReactionLine(const std::string& path) {
  CloseDefinitionReader();
  std::string& line = lookupLine;
  std::vector<std::string>& fields = lookupFields;
  while (ReadDefinitionLine(path, line)) {
    const std::string_view word = FirstWord(line);
    if (word != "BEGIN_SOURCE" && word != "ERROR_REACTION") continue;
    SplitFields(line, ' ', fields, 2);
    if (fields[0] == "BEGIN_SOURCE") {
      CloseDefinitionReader();
      return 0;
    }
    if (fields[0] == "ERROR_REACTION") {
      CloseDefinitionReader();
      // The first ERROR_REACTION line decides, valid or not.
      char value = fields.size() == 2 && !fields[1].empty() ? fields[1][0] : '\0';
      if (value == 'S' || value == 'C' || value == 'I') {
        ConsolePrintf(LOG_INFO, "ErrorReaction = %c", value);
        return value;
      }
      return 'S';
    }
  }
  return 0;
}

int ReadErrorReaction(const std::string& path) {
  int reaction = ReadErrorReactionLine(path);
  return reaction ? reaction : 'S';
}

int FindFontSetLabel(const std::string& path, const std::string& name) {
  std::string& line = lookupLine;
  while (ReadDefinitionLine(path, line)) {
    // The colon need not end the line.
    if (line.size() > name.size() && line[name.size()] == ':' &&
        line.compare(0, name.size(), name) == 0)
      return 1;
  }
  return 0;
}

namespace {
// The value of the first header line whose first word is keyword; false
// when BEGIN_SOURCE or the end comes first.
bool ReadHeaderValue(const std::string& path, const char* keyword, std::string& value) {
  CloseDefinitionReader();
  std::string& line = lookupLine;
  std::vector<std::string>& fields = lookupFields;
  while (ReadDefinitionLine(path, line)) {
    const std::string_view word = FirstWord(line);
    if (word != "BEGIN_SOURCE" && word != keyword) continue;
    SplitFields(line, ' ', fields, 2);
    if (fields[0] == "BEGIN_SOURCE") break;
    if (fields[0] == keyword) {
      CloseDefinitionReader();
      value = fields.size() == 2 ? fields[1] : std::string();
      return true;
    }
  }
  CloseDefinitionReader();
  return false;
}
}  // namespace

int ReadJobs(const std::string& path, std::string& value) {
  value.clear();
  if (!ReadHeaderValue(path, "JOBS", value)) return kJobsAbsent;
  int jobs = 0;
  if (value.empty() || value.size() > 3 || !IsAllDigits(value) || !ParseResolution(value, jobs) ||
      jobs > kMaxJobsLine)
    return kJobsInvalid;
  return jobs;
}

int ReadTexmf(const std::string& path, std::string& directory) {
  directory.clear();
  if (!ReadHeaderValue(path, "TEXMF", directory) || directory.empty()) return 0;
  return EndsWithColon(directory) ? -1 : 1;
}

int SplitFields(const std::string& text, char separator,
                std::vector<std::string>& fields, int maximum) {
  // Fields are assigned into the strings already there, so a vector split
  // line after line keeps its storage instead of allocating every field.
  std::size_t used = 0;
  auto put = [&](std::size_t from, std::size_t length) {
    if (used == fields.size()) fields.emplace_back();
    fields[used++].assign(text, from, length);
  };
  std::size_t start = 0;
  std::size_t index = 0;
  int count = 1;
  while ((index = text.find(separator, index)) != std::string::npos) {
    if (count >= maximum) {
      // The last field runs to the end of the text, separators included.
      put(start, std::string::npos);
      fields.resize(used);
      return 0;
    }
    put(start, index - start);
    while (index < text.size() && text[index] == separator) ++index;
    start = index;
    ++count;
  }
  put(start, std::string::npos);
  fields.resize(used);
  return count;
}

int IsAllDigits(std::string_view text) {
  for (char c : text)
    if (c < '0' || c > '9') return 0;
  return 1;
}

std::string& ReplaceChar(std::string& text, char find, char replacement) {
  std::size_t at = text.find(find);
  if (at == std::string::npos) return text;
  // A terminator as the replacement ends the text there, as in a C string.
  if (replacement == '\0') {
    text.erase(at);
    return text;
  }
  for (; at != std::string::npos; at = text.find(find, at + 1)) text[at] = replacement;
  return text;
}

std::string& TrimBlanks(std::string& text) {
  // Most lines have no blank at either end.
  if (!text.empty() && text.front() != ' ' && text.back() != ' ') return text;
  std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) {
    text.clear();
    return text;
  }
  // In place: the line keeps its storage.
  text.erase(text.find_last_not_of(' ') + 1);
  text.erase(0, first);
  return text;
}
