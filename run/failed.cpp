#include "run/failed.h"

#include <cstdio>
#include <vector>

#include "run/filesys.h"
#include "run/output.h"
#include "tex/layout.h"
#include "ui/log.h"

namespace {

// METAFONT names its transcript on its last line; a log made before any
// file was read has this name.
const char kTranscriptWritten[] = NOTR("Transcript written on ");
const char kPutLog[] = "mfput.log";
// A log that is not METAFONT's could be any size; its first error line is
// near the top of a real one.
constexpr std::size_t kLogHeadBytes = 256 * 1024;
constexpr std::size_t kReasonBytes = 200;
constexpr int kMaxLogNumber = 9999;

// One line fit to be shown: control bytes become '?', and a long line is
// cut before a UTF-8 sequence that would not fit.
std::string OneLine(const std::string& text) {
  std::string line;
  for (char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    line += byte < 0x20 || byte == 0x7f ? '?' : c;
  }
  if (line.size() > kReasonBytes) {
    std::size_t cut = kReasonBytes;
    while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
    line = line.substr(0, cut) + "...";
  }
  return line;
}

std::string FirstNonBlankLine(const std::string& text) {
  for (const std::string& line : TextLines(text))
    if (line.find_first_not_of(" \t") != std::string::npos) return line;
  return std::string();
}

std::string ReadHead(const std::string& path) {
  std::string text;
  if (path.empty() || !IsRegularFile(path)) return text;
  std::FILE* in = std::fopen(path.c_str(), "rb");
  if (!in) return text;
  char chunk[8192];
  std::size_t got;
  while (text.size() < kLogHeadBytes && (got = std::fread(chunk, 1, sizeof chunk, in)) > 0)
    text.append(chunk, got);
  std::fclose(in);
  return text;
}

// name as it is when absolute (a layout's log folder may be), else in the
// current directory.
std::string FullPath(const std::string& name) {
  const bool absolute = (!name.empty() && (name[0] == '/' || name[0] == '\\')) ||
                        (name.size() > 2 && name[1] == ':');
  return absolute ? name : CurrentDirectory() + kDirSeparator + name;
}

// name is NAME.DPIgf for some DPI.
bool IsGfFileOf(const std::string& name, const std::string& fontName) {
  const std::size_t digits = fontName.size() + 1;
  if (name.size() < digits + 3 || name.compare(0, fontName.size(), fontName) != 0 ||
      name[fontName.size()] != '.' || name.compare(name.size() - 2, 2, "gf") != 0)
    return false;
  for (std::size_t i = digits; i < name.size() - 2; ++i)
    if (name[i] < '0' || name[i] > '9') return false;
  return true;
}

// The first of "NAME.DPI.log", "NAME.DPI.2.log", ... in directory (""
// for the current one) that this batch has not filed yet; empty when all
// are taken.
std::string FreeLogName(const std::string& directory, const FontJob& job,
                        const std::set<std::string>& filed) {
  const std::string stem = StringPrintf("%s.%d", job.fontName.c_str(), job.fontResolution);
  for (int number = 1; number <= kMaxLogNumber; ++number) {
    std::string name = number == 1 ? stem + ".log" : StringPrintf("%s.%d.log", stem.c_str(), number);
    std::string path = directory.empty() ? name : directory + kDirSeparator + name;
    if (!filed.count(path)) return path;
  }
  return std::string();
}

// A move, or a copy whose source is removed once it is good.
bool MoveFile(const std::string& from, const std::string& to) {
  if (ReplaceFileWith(from, to)) return true;
  if (!CopyFileBytes(from, to)) return false;
  RemoveFile(from);
  return true;
}

}  // namespace

std::string FirstErrorLine(const std::string& text) {
  for (const std::string& line : TextLines(text))
    if (line.compare(0, 2, "! ") == 0) return line;
  return std::string();
}

std::string FailedJobLog(const FontJob& job) {
  if (!job.mfOutcome.started) return std::string();
  std::vector<std::string> names;
  for (const std::string& line : TextLines(job.mfOutcome.output)) {
    // "Transcript written on NAME.log."; a name cut by METAFONT's line
    // wrapping names no file, and the others are tried.
    if (line.compare(0, sizeof kTranscriptWritten - 1, kTranscriptWritten) == 0 &&
        line.size() > sizeof kTranscriptWritten && line.back() == '.')
      names.push_back(line.substr(sizeof kTranscriptWritten - 1,
                                  line.size() - sizeof kTranscriptWritten));
  }
  names.push_back(job.fontName + ".log");
  names.push_back(kPutLog);
  for (const std::string& name : names) {
    if (name.find('/') != std::string::npos || name.find('\\') != std::string::npos) continue;
    if (IsRegularFile(InWorkDir(job.workDir, name))) return name;
  }
  return std::string();
}

std::string FileFailedJob(const FontJob& job, std::set<std::string>& filed) {
  const std::string log = FailedJobLog(job);
  std::string kept;
  if (!log.empty()) {
    const std::string from = InWorkDir(job.workDir, log);
    const std::string into = FreeLogName(CurrentLayout().LogFolder(), job, filed);
    const bool replacing = !into.empty() && PathExists(into);
    if (!into.empty() && MoveFile(from, into)) {
      ConsolePrintf(LOG_INFO, "%s filed as %s%s", log.c_str(), into.c_str(),
                    replacing ? NOTR(", in place of an earlier run's") : "");
      kept = into;
    } else {
      // Where a sequential run would have left it, under a name that no
      // other failure of the batch has.
      const std::string here = job.workDir.empty() ? log : FreeLogName("", job, filed);
      if (!here.empty() && (job.workDir.empty() || ReplaceFileWith(from, here))) kept = here;
      ConsolePrintf(LOG_ALERT, "%s of %s at %d cannot be filed into log; kept as %s",
                    log.c_str(), job.fontName.c_str(), job.fontResolution,
                    kept.empty() ? "nothing" : kept.c_str());
    }
  }
  // A scratch directory is cleared as a whole; in the working directory
  // METAFONT's other files of the font go (a GF file at any resolution: an
  // unknown mode writes one at 2602 dpi). The next run makes them again.
  if (job.workDir.empty()) {
    std::vector<std::string> names;
    ListDirectory(".", names);
    for (const std::string& name : names)
      if (IsGfFileOf(name, job.fontName)) RemoveFile(name);
    RemoveFile(job.fontName + ".tfm");
  }
  if (kept.empty()) return std::string();
  filed.insert(kept);
  return FullPath(kept);
}

void ForgetEarlierFailure(const FontJob& job, const std::set<std::string>& filed) {
  const std::string log =
      StringPrintf("%s%c%s.%d.log", CurrentLayout().LogFolder().c_str(), kDirSeparator,
                   job.fontName.c_str(), job.fontResolution);
  if (!filed.count(log) && IsRegularFile(log) && RemoveFile(log))
    ConsolePrintf(LOG_INFO, "%s removed: the font is built now", log.c_str());
}

std::string FailureReason(const FontJob& job, JobStatus status, const std::string& logPath) {
  if (!job.failure.empty()) return OneLine(job.failure);
  if (status == JobStatus::TruncatedPkFile)
    return TR("gftopk left a PK file cut short (is the disk full?)");
  const bool metafont = status == JobStatus::NoGfFile;
  const ChildOutcome& outcome = metafont ? job.mfOutcome : job.gftopkOutcome;
  const char* program = metafont ? "METAFONT" : "gftopk";
  if (!outcome.started)
    return StringPrintf(TR("%s could not be started (error %lu)"), program, outcome.error);
  std::string line = metafont ? FirstErrorLine(outcome.output) : FirstNonBlankLine(outcome.output);
  if (line.empty() && metafont) line = FirstErrorLine(ReadHead(logPath));
  if (!line.empty()) return OneLine(line);
  if (outcome.signal != 0)
    return StringPrintf(TR("%s was ended by signal %d"), program, outcome.signal);
  return metafont ? TR("METAFONT wrote no GF file") : TR("no PK file was written");
}
