// kiln --dry-run: the run sequence up to the settings, chosen as the
// settings dialog's initialisation would choose them, and then, in place of
// the batch, its counting pass in the target directory: one line per job on
// standard output (font name, tab, resolution, tab, METAFONT command line).
// Nothing is run, created or deleted.
#pragma once

#include "install/keystore.h"
#include "ui/term/options.h"

// The exit status: 0 when the jobs were listed, 1 otherwise.
int RunDryRun(const TermOptions& options, KeyStore& keys);
