// The program that started kiln, as the on-demand maker needs it: a DVI
// driver runs the maker directly, so its command line names the document
// and its working folder is where that name starts. Read from /proc on
// Linux; elsewhere it cannot be read, and only the font asked for is made.
#pragma once

#include <string>
#include <vector>

struct ParentProcess {
  long pid = 0;
  std::string startTime;           // with pid, names this process among all
  std::vector<std::string> argv;   // its command line, program first
  std::string directory;           // its working folder
};

// false when the parent cannot be read (another system, a parent that has
// ended, a /proc that hides it).
bool ReadParentProcess(ParentProcess& parent);

// Whether the process pid, started at startTime, still runs; false when
// it cannot be told (then it counts as gone).
bool ProcessAlive(long pid, const std::string& startTime);
