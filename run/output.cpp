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

// Copies one by-product into its subdirectory (from a scratch directory it
// is moved, which cannot fail for want of space). When the copy fails and the
// file is there, it stays in the target directory and the log says so.
bool FileOne(const std::string& workDir, const std::string& name,
             const std::string& directory) {
  std::string source = InWorkDir(workDir, name);
  std::string destination = directory + kDirSeparator + name;
  if (!workDir.empty() && ReplaceFileWith(source, destination)) return true;
  if (CopyFileBytes(source, destination)) return true;
  if (PathExists(source)) {
    if (!workDir.empty()) ReplaceFileWith(source, name);
    ConsolePrintf(LOG_ALERT, "%s kept in the target directory: its copy failed",
                  name.c_str());
  }
  return false;
}

}  // namespace

std::string InWorkDir(const std::string& workDir, const std::string& name) {
  return workDir.empty() ? name : workDir + kDirSeparator + name;
}

int FindGfFile(const std::string& fontName, int resolution, const std::string& workDir) {
  for (int offset : kResolutionOffsets) {
    long long candidate = static_cast<long long>(resolution) + offset;
    std::string name = FileName(fontName, candidate, "gf");
    if (FitsInt(candidate) && PathExists(InWorkDir(workDir, name))) {
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

bool PkFileTruncated(const std::string& name) {
  // PK commands: a character packet below 240, specials 240 to 244, the
  // postamble 245, no-op 246, the preamble 247.
  constexpr int kPkPre = 247, kPkId = 89, kPkPost = 245, kPkNoOp = 246;
  constexpr int kXxx1 = 240, kXxx4 = 243, kYyy = 244;
  std::FILE* file = std::fopen(name.c_str(), "rb");
  if (!file) return false;
  std::vector<unsigned char> bytes;
  unsigned char chunk[8192];
  std::size_t got;
  while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
    bytes.insert(bytes.end(), chunk, chunk + got);
  bool readError = std::ferror(file) != 0;
  std::fclose(file);
  if (readError) return false;  // cannot judge it; its presence counts
  if (bytes.empty()) return true;
  if (bytes.size() < 2 || bytes[0] != kPkPre) return bytes.size() < 2;
  if (bytes[1] != kPkId) return false;

  const std::size_t size = bytes.size();
  // Big-endian number of n bytes at p; false when they run past the end.
  auto number = [&](std::size_t p, int n, unsigned long long& value) {
    if (p > size || static_cast<std::size_t>(n) > size - p) return false;
    value = 0;
    for (int i = 0; i < n; ++i) value = value * 256 + bytes[p + i];
    return true;
  };
  unsigned long long value = 0;
  if (!number(2, 1, value)) return true;
  unsigned long long position = 3 + value + 16;  // comment, ds, cs, hppp, vppp
  while (position < size) {
    std::size_t p = static_cast<std::size_t>(position);
    int command = bytes[p];
    if (command < kXxx1) {
      // The packet length counts the bytes after the character code.
      if ((command & 7) == 7) {
        if (!number(p + 1, 4, value)) return true;
        position += 9 + value;
      } else if (command & 4) {
        if (!number(p + 1, 2, value)) return true;
        position += 4 + (static_cast<unsigned long long>(command & 3) << 16) + value;
      } else {
        if (!number(p + 1, 1, value)) return true;
        position += 3 + (static_cast<unsigned long long>(command & 3) << 8) + value;
      }
    } else if (command <= kXxx4) {
      int n = command - kXxx1 + 1;
      if (!number(p + 1, n, value)) return true;
      position += 1 + n + value;
    } else if (command == kYyy) {
      position += 5;
    } else if (command == kPkNoOp) {
      position += 1;
    } else if (command == kPkPost) {
      return false;
    } else {
      return true;  // no such command: the bytes are not what gftopk wrote
    }
  }
  return true;  // the end came before the postamble
}

int CopyFileBytes(const std::string& source, const std::string& destination) {
  errno = 0;
  std::FILE* in = std::fopen(source.c_str(), "rb");
  if (!in) {
    ReportCopyError(source, ErrorText(TR("cannot be opened")));
    return 0;
  }
  const std::string partial = destination + kPartialSuffix;
  errno = 0;
  std::FILE* out = std::fopen(partial.c_str(), "wb");
  if (!out) {
    std::string text = ErrorText(TR("cannot be created"));
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
      failure = ErrorText(TR("read error"));
      break;
    }
    if (got > 0) {
      errno = 0;
      if (std::fwrite(buffer.data(), 1, got, out) != got) {
        failedName = destination;
        failure = ErrorText(TR("write error"));
        break;
      }
    }
    if (got < buffer.size()) break;  // end of source
  }
  if (failure.empty()) {
    errno = 0;
    if (std::fflush(out) != 0) {
      failedName = destination;
      failure = ErrorText(TR("write error"));
    }
  }
  // Buffered bytes may only fail to reach the disk at close.
  errno = 0;
  if (std::fclose(out) != 0 && failure.empty()) {
    failedName = destination;
    failure = ErrorText(TR("write error"));
  }
  std::fclose(in);
  if (failure.empty()) {
    errno = 0;
    if (!ReplaceFileWith(partial, destination)) {
      failedName = destination;
      failure = ErrorText(TR("cannot be replaced"));
    }
  }
  if (!failure.empty()) {
    RemoveFile(partial);
    ReportCopyError(failedName, failure);
    return 0;
  }
  return 1;
}

int FileOutputs(const std::string& fontName, int resolution, const std::string& workDir) {
  const std::string tfm = fontName + ".tfm";
  const std::string log = fontName + ".log";
  bool tfmFiled = FileOne(workDir, tfm, "tfm");
  bool logFiled = FileOne(workDir, log, "log");
  // Only a file whose copy is known to be good is deleted (a moved one is
  // gone already).
  if (logFiled) RemoveFile(InWorkDir(workDir, log));
  // The PK file exists by now; the GF file is no longer needed.
  RemoveFile(InWorkDir(workDir, FileName(fontName, resolution, "gf")));
  if (tfmFiled) RemoveFile(InWorkDir(workDir, tfm));
  return tfmFiled && logFiled ? 1 : 0;
}
