#include "run/output.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <vector>

#include "run/filesys.h"
#include "ui/log.h"

namespace {

// The exact resolution first, then one below, then one above.
const int kResolutionOffsets[3] = {0, -1, +1};

// The temporary copy sits beside its destination, so that the final rename
// stays on one file system.
const char* const kPartialSuffix = ".kiln-partial";

// The system's text for the call that just failed; errno is cleared before
// each call, so a call that sets nothing still gets a readable line.
std::string ErrorText(const char* fallback) {
  return errno != 0 ? LastErrorText() : std::string(fallback);
}

// The perror-style line, on the standard error stream and in the log.
void ReportCopyError(const std::string& name, const std::string& text) {
  std::fprintf(stderr, "%s: %s\n", name.c_str(), text.c_str());
  ConsolePrintf(LOG_ALERT, "%s: %s", name.c_str(), text.c_str());
}

std::string FileName(const std::string& fontName, long long resolution,
                     const char* suffix) {
  return StringPrintf("%s.%lld%s", fontName.c_str(), resolution, suffix);
}

bool FitsInt(long long value) { return value >= INT_MIN && value <= INT_MAX; }

// Copies one by-product into its subdirectory. When the copy fails and the
// file is there, it stays where it is and the log says so.
bool FileOne(const std::string& name, const std::string& directory) {
  std::string destination = directory + kDirSeparator + name;
  if (CopyFileBytes(name, destination)) return true;
  if (PathExists(name))
    ConsolePrintf(LOG_ALERT, "%s kept in the target directory: its copy failed",
                  name.c_str());
  return false;
}

}  // namespace

int FindGfFile(const std::string& fontName, int resolution) {
  for (int offset : kResolutionOffsets) {
    long long candidate = static_cast<long long>(resolution) + offset;
    std::string name = FileName(fontName, candidate, "gf");
    if (FitsInt(candidate) && PathExists(name)) {
      ConsolePrintf(LOG_INFO, "%s found", name.c_str());
      return static_cast<int>(candidate);
    }
    ConsolePrintf(LOG_WARNING, "%s Not found", name.c_str());
  }
  ConsolePrintf(LOG_ALERT, "GF file is not exist");
  return 0;
}

int PkFileExists(const std::string& fontName, int resolution) {
  for (int offset : kResolutionOffsets) {
    std::string name =
        FileName(fontName, static_cast<long long>(resolution) + offset, "pk");
    if (PathExists(name)) {
      ConsolePrintf(LOG_INFO, "%s is already exist in PK file directory", name.c_str());
      return 1;
    }
  }
  return 0;
}

int CopyFileBytes(const std::string& source, const std::string& destination) {
  errno = 0;
  std::FILE* in = std::fopen(source.c_str(), "rb");
  if (!in) {
    ReportCopyError(source, ErrorText("cannot be opened"));
    return 0;
  }
  const std::string partial = destination + kPartialSuffix;
  errno = 0;
  std::FILE* out = std::fopen(partial.c_str(), "wb");
  if (!out) {
    std::string text = ErrorText("cannot be created");
    std::fclose(in);
    ReportCopyError(destination, text);
    return 0;
  }

  std::string failedName;
  std::string failure;
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    errno = 0;
    std::size_t got = std::fread(buffer.data(), 1, buffer.size(), in);
    if (got < buffer.size() && std::ferror(in)) {
      failedName = source;
      failure = ErrorText("read error");
      break;
    }
    if (got > 0) {
      errno = 0;
      if (std::fwrite(buffer.data(), 1, got, out) != got) {
        failedName = destination;
        failure = ErrorText("write error");
        break;
      }
    }
    if (got < buffer.size()) break;  // end of source
  }
  if (failure.empty()) {
    errno = 0;
    if (std::fflush(out) != 0) {
      failedName = destination;
      failure = ErrorText("write error");
    }
  }
  // Buffered bytes may only fail to reach the disk at close.
  errno = 0;
  if (std::fclose(out) != 0 && failure.empty()) {
    failedName = destination;
    failure = ErrorText("write error");
  }
  std::fclose(in);
  if (failure.empty()) {
    errno = 0;
    if (!ReplaceFileWith(partial, destination)) {
      failedName = destination;
      failure = ErrorText("cannot be replaced");
    }
  }
  if (!failure.empty()) {
    RemoveFile(partial);
    ReportCopyError(failedName, failure);
    return 0;
  }
  return 1;
}

void FileOutputs(const std::string& fontName, int resolution) {
  const std::string tfm = fontName + ".tfm";
  const std::string log = fontName + ".log";
  bool tfmFiled = FileOne(tfm, "tfm");
  bool logFiled = FileOne(log, "log");
  // Only a file whose copy is known to be good is deleted.
  if (logFiled) RemoveFile(log);
  // The PK file exists by now; the GF file is no longer needed.
  RemoveFile(FileName(fontName, resolution, "gf"));
  if (tfmFiled) RemoveFile(tfm);
}
