// Paths and counts that the terminal program's screens and its run share:
// kept apart so that the settings screen, the documents and the front end
// need not include one another.
#pragma once

#include <string>

#include "ui/term/options.h"

// The CPUs this process may run on (at least 1).
int AvailableCpus();

// A typed path made absolute, so that the recorded file is found from any
// directory; a path that does not exist is returned as typed.
std::string AbsolutePath(const std::string& path);

// The definition file named by --definition: 1 with its full path, 0 when it
// does not exist (the user has been told), -1 when the option was not given.
int DefinitionFromOptions(const TermOptions& options, std::string& path);
