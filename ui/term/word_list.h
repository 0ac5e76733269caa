// kiln --list-words: the words the shell completion offers after the
// options, read from the definition file in use by kiln's own reader, so
// that the completion scripts never parse the file themselves.
#pragma once

#include <cstdio>

#include "install/keystore.h"
#include "ui/term/options.h"

// Writes one "KIND WORD" line per word to out: "resolution 600", "mode
// ljfour", "fontset cm", in the file's order. The file is --definition's,
// else the recorded one; without a readable file nothing is written. It never
// asks or reports anything: its caller is a completion function.
void ListCompletionWords(const TermOptions& options, KeyStore& keys, std::FILE* out);
