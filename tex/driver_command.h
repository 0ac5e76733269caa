// What a DVI driver's command line says about the fonts it will ask for:
// the document, the resolution it renders at, dvipng's oversampling, a
// magnification that replaces the document's own, and the font map. An
// on-demand request whose parent is such a driver can then build every font
// of the document at once. Anything that would make the driver ask for
// fewer fonts than the whole document needs (a page range, a filter, an
// option not known here) leaves the command unusable, and only the one font
// asked for is built. Pure: the words come in, nothing is looked up.
#pragma once

#include <string>
#include <vector>

#include "tex/driver.h"

struct DriverCommand {
  Driver driver = Driver::Dvips;
  std::string dvi;          // as named on the command line (".dvi" may be left off)
  int resolution = 0;       // -D (dvips, dvipng) or -p (xdvi); 0: the driver's default
  int oversample = 0;       // dvipng's -Q; 0: its default
  std::string mode;         // -mode / -mfmode; empty: the driver's default
  int magnification = 0;    // -x (x 1000): replaces the document's own; 0: none
  std::string map;          // dvips -u FILE: the map instead of its default; empty: default;
                            // kNoMap: a bitmap for every font
};

// The driver a program name belongs to ("dvips", "dvipng", "dvigif",
// "xdvi", "xdvi-xaw", "xdvi.bin", a path ending in one); false for others.
bool DriverOfProgram(const std::string& program, Driver& driver);

// argv: the driver's whole command line, program first. true with command
// filled when it names one DVI file and nothing that narrows the fonts;
// false with why (a short English phrase) otherwise.
bool ReadDriverCommand(const std::vector<std::string>& argv, DriverCommand& command,
                       std::string& why);
