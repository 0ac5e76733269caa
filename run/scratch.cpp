#include "run/scratch.h"

#include <vector>

#include "run/filesys.h"
#include "ui/log.h"

const char* const kScratchPrefix = ".kiln-job.";

std::string ScratchDirectoryName(long number) {
  return kScratchPrefix + std::to_string(number);
}

bool IsScratchDirectoryName(const std::string& name) {
  const std::string prefix = kScratchPrefix;
  if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0)
    return false;
  for (std::size_t i = prefix.size(); i < name.size(); ++i)
    if (name[i] < '0' || name[i] > '9') return false;
  return true;
}

void ClearScratchDirectory(const std::string& directory, bool keepFiles) {
  std::vector<std::string> names;
  ListDirectory(directory, names);
  for (const std::string& name : names) {
    std::string path = directory + kDirSeparator + name;
    if (keepFiles && ReplaceFileWith(path, name)) continue;
    RemoveFile(path);
  }
  if (!RemoveEmptyDirectory(directory))
    ConsolePrintf(LOG_ALERT, "Scratch directory %s cannot be removed: %s",
                  directory.c_str(), LastErrorText().c_str());
}

int RemoveLeftoverScratchDirectories() {
  std::vector<std::string> names;
  if (!ListDirectory(".", names)) return 0;
  int removed = 0;
  for (const std::string& name : names) {
    if (!IsScratchDirectoryName(name) || DirectoryStatus(name) != 1) continue;
    // Half-written files of a killed run: nothing in them is kept.
    ClearScratchDirectory(name, false);
    if (!PathExists(name)) {
      ConsolePrintf(LOG_INFO, "Removed %s, left by a run that was killed", name.c_str());
      ++removed;
    }
  }
  return removed;
}
