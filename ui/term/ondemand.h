// kiln --mktexpk: the font maker that TeX's programs run when kpathsea
// finds no PK file (the program "mktexpk" first on PATH). It takes their
// arguments, builds the font where on-demand making puts it (TEXMFVAR's
// fonts/pk/MODE/SUPPLIER/TYPEFACE, or --destdir), and prints the new file's
// path as the last line of standard output; on failure it prints nothing
// there, says why on standard error and exits 1.
//
// When the program that asks is a DVI driver whose command line names a
// document, the first request builds every font the driver will ask for
// from it, all at once, and returns when they are done; the driver's next
// lookups find them. Requests from several programs at once each claim the
// font they build (a lock file per font in the tree's work folder): a font
// being built is waited for, never built twice, and different fonts are
// built side by side. Each request works in a private folder of the work
// folder, locked while it lives, which a later request removes once its
// owner is gone.
#pragma once

#include <string>
#include <vector>

// words: the arguments after --mktexpk. The exit status.
int RunMakerRequest(const std::vector<std::string>& words);

// The text of kiln --mktexpk --help.
std::string MakerHelpText();
