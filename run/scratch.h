// Scratch directories. With several jobs at once, each runs METAFONT and
// gftopk in a directory of its own inside the target directory, so that two
// magnifications of one font never meet on NAME.tfm and NAME.log, and the
// results reach their places by rename (one file system). The names are
// fixed, so that a run holding the target directory's lock knows any such
// directory as a leftover of a run that was killed, and a font name (which
// never starts with a dot) can never be taken for one.
#pragma once

#include <string>

extern const char* const kScratchPrefix;  // ".kiln-job."

std::string ScratchDirectoryName(long number);
bool IsScratchDirectoryName(const std::string& name);
// Empties and removes a job's scratch directory. keepFiles: what is left is
// moved into the current directory (a failed job's files stay where a
// sequential run leaves them), else it is deleted.
void ClearScratchDirectory(const std::string& directory, bool keepFiles);
// Removes the scratch directories in the current directory, left by a run
// that was killed. Only for the holder of the directory's lock. Returns how
// many were removed.
int RemoveLeftoverScratchDirectories();
