// File-system services that differ by platform. One file per platform
// (filesys_posix.cpp, filesys_win32.cpp); the core calls nothing else.
#pragma once

#include <string>
#include <vector>

// The separator used when the batch names files inside "tfm" and "log".
extern const char kDirSeparator;

// Any directory entry of that name (files and directories alike).
bool PathExists(const std::string& path);
// 1: a directory; 0: exists but is not one; -1: status cannot be had.
int DirectoryStatus(const std::string& path);
// True for a plain file. Opening anything else for reading may wait for
// ever (a FIFO without a writer) or read something that is not a file.
bool IsRegularFile(const std::string& path);
// true when created; false when it exists already or cannot be made.
bool MakeDirectory(const std::string& path);
bool RemoveFile(const std::string& path);
// Removes an empty directory.
bool RemoveEmptyDirectory(const std::string& path);
// The entries of a directory, without "." and ".."; false when it cannot be
// read.
bool ListDirectory(const std::string& path, std::vector<std::string>& names);
// Replaces destination by source in one step (an existing destination is
// overwritten); false, with destination untouched, on failure.
bool ReplaceFileWith(const std::string& source, const std::string& destination);
std::string CurrentDirectory();
bool ChangeDirectory(const std::string& path);
// The system's text for the last failed call (errno), for error lines.
std::string LastErrorText();
