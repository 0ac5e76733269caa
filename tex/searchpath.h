// kpathsea search paths that a folder of the user's is put in front of.
#pragma once

#include <string>

// folder, then existing (a variable's value, e.g. MFINPUTS; null when not
// set: then kpathsea's default, which an empty element stands for). Empty
// when folder is not absolute or holds a character that kpathsea would
// read as a separator or an expansion (: ; $ ~ { } ! ,): such a folder is
// left off rather than misread.
std::string SearchPathWithFolder(const std::string& folder, const char* existing);
