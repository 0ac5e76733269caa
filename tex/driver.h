// What a DVI driver asks kpathsea for when a bitmap font is missing: its
// METAFONT mode, the mode's base resolution, the resolution it renders at,
// and the font map that names the fonts it takes from outline files. The
// defaults come from where each driver keeps them (dvips's config.ps,
// pdfTeX's pdftexconfig.tex, xdvi's resources, kpathsea's variables), read
// by the front end and handed in as text, so that this part is pure.
#pragma once

#include <string>
#include <vector>

enum class Driver { Dvips, Dvipng, Xdvi, Pdftex };

// "dvips", "dvipng", "xdvi", "pdftex"; false for any other name.
bool ParseDriverName(const std::string& text, Driver& driver);
const char* DriverName(Driver driver);
// The map a driver reads by default ("psfonts.map", "pdftex.map").
const char* DriverDefaultMap(Driver driver);

// dvipng renders at -D times its oversampling, 4 unless -Q says otherwise.
constexpr int kDvipngOversampling = 4;
constexpr int kDvipngDefaultDpi = 100;
constexpr int kMaxOversampling = 64;
// Far above any device; keeps every product below an int's range.
constexpr int kMaxDriverResolution = 100000;

// What the driver's own files and kpathsea said; empty / 0 where they said
// nothing. Paths only name the source in messages.
struct DriverSources {
  std::string configPath;  // config.ps, pdftexconfig.tex or XDvi as found
  std::string configText;  // its contents
  std::string kpathseaMode;  // MAKETEX_MODE ("/" means none)
  int kpathseaDpi = 0;       // MAKETEX_BASE_DPI
};

struct DriverDefaults {
  std::string mode;
  int modeDpi = 0;         // the mode's base resolution
  int renderDpi = 0;       // the resolution the driver renders at
  std::string modeFrom;    // where the mode and its resolution came from
  std::string renderFrom;  // where the render resolution came from
};

// The mode and resolutions the driver uses when told nothing; never empty
// (ljfour at 600 when no source says anything).
DriverDefaults DefaultsForDriver(Driver driver, const DriverSources& sources);

// The "M mode" and "D dpi" lines of a config.ps (the last of each counts,
// as dvips reads them in order); untouched when absent.
void ReadDvipsConfig(const std::string& text, std::string& mode, int& dpi);
// \pdfpkresolution=N and \pdfpkmode={mode} of pdftexconfig.tex.
void ReadPdftexConfig(const std::string& text, std::string& mode, int& dpi);
// xdvi's resources "*mfmode: mode[:dpi]" and "*pixelsPerInch: dpi".
void ReadXdviResources(const std::string& text, std::string& mode, int& dpi);

// "600", "600dpi", "100,120,200": each 1..kMaxDriverResolution, each once
// (a repeat is dropped). false with error for anything else.
bool ParseResolutionList(const std::string& text, std::vector<int>& resolutions,
                         std::string& error);
