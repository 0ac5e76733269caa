#include "tex/driver.h"

#include "ui/log.h"

#include <cctype>
#include <cstdlib>

namespace {

const char kFallbackMode[] = "ljfour";
constexpr int kFallbackDpi = 600;

// A decimal 1..kMaxDriverResolution at text[pos]; 0 otherwise. pos moves past it.
int ReadDpi(const std::string& text, std::size_t& pos) {
  long value = 0;
  std::size_t start = pos;
  while (pos < text.size() && std::isdigit(static_cast<unsigned char>(text[pos]))) {
    if (value <= kMaxDriverResolution) value = value * 10 + (text[pos] - '0');
    ++pos;
  }
  if (pos == start || value < 1 || value > kMaxDriverResolution) return 0;
  return static_cast<int>(value);
}

void SkipBlanks(const std::string& text, std::size_t& pos) {
  while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
}

// A mode name as METAFONT's modes.mf spells them.
bool IsModeName(const std::string& text) {
  if (text.empty() || text.size() > 64) return false;
  for (char c : text)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
  return true;
}

template <typename Visit>
void ForEachLine(const std::string& text, Visit visit) {
  for (const std::string& line : TextLines(text)) visit(line);
}

}  // namespace

bool ParseDriverName(const std::string& text, Driver& driver) {
  for (Driver each : {Driver::Dvips, Driver::Dvipng, Driver::Xdvi, Driver::Pdftex}) {
    if (text == DriverName(each)) {
      driver = each;
      return true;
    }
  }
  return false;
}

const char* DriverName(Driver driver) {
  switch (driver) {
    case Driver::Dvips: return "dvips";
    case Driver::Dvipng: return "dvipng";
    case Driver::Xdvi: return "xdvi";
    case Driver::Pdftex: return "pdftex";
  }
  return "dvips";
}

const char* DriverDefaultMap(Driver driver) {
  return driver == Driver::Pdftex ? "pdftex.map" : "psfonts.map";
}

void ReadDvipsConfig(const std::string& text, std::string& mode, int& dpi) {
  ForEachLine(text, [&](const std::string& line) {
    // dvips reads an option letter in the first column, its value after it.
    if (line.size() < 2 || (line[0] != 'M' && line[0] != 'D')) return;
    std::size_t pos = 1;
    if (line[pos] != ' ' && line[pos] != '\t') return;
    SkipBlanks(line, pos);
    if (line[0] == 'D') {
      int value = ReadDpi(line, pos);
      if (value) dpi = value;
    } else {
      std::size_t end = pos;
      while (end < line.size() && !std::isspace(static_cast<unsigned char>(line[end]))) ++end;
      std::string word = line.substr(pos, end - pos);
      if (IsModeName(word)) mode = word;
    }
  });
}

void ReadPdftexConfig(const std::string& text, std::string& mode, int& dpi) {
  ForEachLine(text, [&](std::string line) {
    std::size_t percent = line.find('%');
    if (percent != std::string::npos) line.resize(percent);
    static const std::string kResolution = "\\pdfpkresolution";
    static const std::string kMode = "\\pdfpkmode";
    std::size_t at = line.find(kResolution);
    if (at != std::string::npos) {
      std::size_t pos = at + kResolution.size();
      SkipBlanks(line, pos);
      if (pos < line.size() && line[pos] == '=') ++pos;
      SkipBlanks(line, pos);
      int value = ReadDpi(line, pos);
      if (value) dpi = value;
    }
    at = line.find(kMode);
    if (at != std::string::npos) {
      std::size_t pos = at + kMode.size();
      SkipBlanks(line, pos);
      if (pos < line.size() && line[pos] == '=') ++pos;
      SkipBlanks(line, pos);
      if (pos < line.size() && line[pos] == '{') {
        std::size_t close = line.find('}', pos);
        if (close != std::string::npos) {
          std::string word = line.substr(pos + 1, close - pos - 1);
          if (IsModeName(word)) mode = word;
        }
      }
    }
  });
}

void ReadXdviResources(const std::string& text, std::string& mode, int& dpi) {
  ForEachLine(text, [&](const std::string& line) {
    // "*mfmode: ljfour:600" or "XDvi*mfmode: ljfour"; "!" starts a comment.
    if (line.empty() || line[0] == '!') return;
    std::size_t colon = line.find(':');
    if (colon == std::string::npos) return;
    std::string key = line.substr(0, colon);
    std::size_t star = key.find_last_of("*.");
    if (star != std::string::npos) key = key.substr(star + 1);
    std::size_t pos = colon + 1;
    SkipBlanks(line, pos);
    if (key == "pixelsPerInch") {
      int value = ReadDpi(line, pos);
      if (value) dpi = value;
    } else if (key == "mfmode") {
      std::size_t end = pos;
      while (end < line.size() && line[end] != ':' && line[end] != ' ' && line[end] != '\t')
        ++end;
      std::string word = line.substr(pos, end - pos);
      if (!IsModeName(word)) return;
      mode = word;
      if (end < line.size() && line[end] == ':') {
        std::size_t at = end + 1;
        int value = ReadDpi(line, at);
        if (value) dpi = value;
      }
    }
  });
}

DriverDefaults DefaultsForDriver(Driver driver, const DriverSources& sources) {
  DriverDefaults out;
  if (driver == Driver::Dvipng) {
    // dvipng asks for mode cx at 300 dpi whatever kpathsea says, and looks
    // under that mode only.
    out.mode = "cx";
    out.modeDpi = 300;
    out.renderDpi = kDvipngDefaultDpi * kDvipngOversampling;
    out.modeFrom = "dvipng's own";
    out.renderFrom = TR("dvipng's default -D 100 times its oversampling 4");
    return out;
  }
  std::string mode;
  int dpi = 0;
  switch (driver) {
    case Driver::Dvips: ReadDvipsConfig(sources.configText, mode, dpi); break;
    case Driver::Pdftex: ReadPdftexConfig(sources.configText, mode, dpi); break;
    case Driver::Xdvi: ReadXdviResources(sources.configText, mode, dpi); break;
    case Driver::Dvipng: break;
  }
  const std::string file = sources.configPath;
  std::string modeFrom = file, dpiFrom = file;
  if (mode.empty() && IsModeName(sources.kpathseaMode)) {
    mode = sources.kpathseaMode;
    modeFrom = "kpathsea's MAKETEX_MODE";
  }
  if (!dpi && sources.kpathseaDpi > 0 && sources.kpathseaDpi <= kMaxDriverResolution &&
      !mode.empty() && modeFrom != file) {
    // kpathsea's base resolution belongs to its own mode only.
    dpi = sources.kpathseaDpi;
    dpiFrom = "kpathsea's MAKETEX_BASE_DPI";
  }
  if (mode.empty()) {
    mode = kFallbackMode;
    modeFrom = "kiln's default";
  }
  if (!dpi) {
    dpi = kFallbackDpi;
    dpiFrom = "kiln's default";
  }
  out.mode = mode;
  out.modeDpi = dpi;
  out.renderDpi = dpi;
  out.modeFrom = modeFrom == dpiFrom ? modeFrom : modeFrom + ", " + dpiFrom;
  out.renderFrom = dpiFrom;
  return out;
}

bool ParseResolutionList(const std::string& text, std::vector<int>& resolutions,
                         std::string& error) {
  resolutions.clear();
  std::size_t start = 0;
  for (;;) {
    std::size_t comma = text.find(',', start);
    std::string item = text.substr(start, comma == std::string::npos ? comma : comma - start);
    std::size_t pos = 0;
    int value = ReadDpi(item, pos);
    if (pos < item.size() && item.compare(pos, std::string::npos, "dpi") == 0)
      pos = item.size();
    if (!value || pos != item.size()) {
      error = StringPrintf(TR("a resolution is a number of dots per inch from 1 to %d "
                              "(several: 100,120,200); not \"%s\""),
                           static_cast<int>(kMaxDriverResolution), text.c_str());
      return false;
    }
    bool repeated = false;
    for (int known : resolutions) repeated |= known == value;
    if (!repeated) resolutions.push_back(value);
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
}
