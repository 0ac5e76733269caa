#include "tex/maker_request.h"

#include <cmath>
#include <cstdlib>

#include "tex/driver.h"
#include "tex/texlookup.h"
#include "ui/log.h"

namespace {

// A positive count, else 0.
int SmallNumber(const std::string& text) {
  int value = 0;
  return ReadCount(text, value) ? value : 0;
}

// A decimal number (an optional sign, digits, at most one point) that
// strtod reads whole; false for anything else.
bool DecimalValue(const std::string& text, double& value) {
  if (text.empty() || text.size() > 16) return false;
  bool digit = false, point = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c >= '0' && c <= '9') {
      digit = true;
    } else if (c == '.' && !point) {
      point = true;
    } else if (!((c == '-' || c == '+') && i == 0)) {
      return false;
    }
  }
  if (!digit) return false;
  value = std::strtod(text.c_str(), nullptr);
  return true;
}

int Rounded(double value) {
  if (!(value >= 0.5) || value > kMaxDriverResolution) return 0;
  return static_cast<int>(std::floor(value + 0.5));
}

// The device resolutions that on-demand making knows one mode for, each
// with that mode (checked on TeX Live 2022 with --mfmode /).
struct BaseMode {
  int dpi;
  const char* mode;
};
const BaseMode kBaseModes[] = {
    {85, "sun"},       {100, "nextscrn"}, {180, "toshiba"}, {300, "cx"},
    {360, "epstylus"}, {400, "nexthi"},   {600, "ljfour"},  {720, "epscszz"},
    {1200, "ultre"},   {1270, "linoone"}, {8000, "dpdfezzz"},
};

}  // namespace

bool ReadCount(const std::string& text, int& value) {
  if (text.empty() || text.size() > 6) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  return true;
}

int ResolutionOfMag(const std::string& mag, int baseDpi) {
  if (baseDpi <= 0) return 0;
  const std::string magstep = "magstep(";
  if (mag.compare(0, magstep.size(), magstep) == 0 && mag.back() == ')') {
    double step = 0;
    if (!DecimalValue(mag.substr(magstep.size(), mag.size() - magstep.size() - 1), step) ||
        std::fabs(step) > 40)
      return 0;
    return Rounded(baseDpi * std::pow(1.2, step));
  }
  std::size_t plus = mag.find('+');
  std::size_t slash = mag.find('/');
  if (plus != std::string::npos && slash != std::string::npos && plus < slash) {
    // N+M/B: N times the base and M parts of B (the driver's own
    // resolution is N * B + M when B is the base).
    int whole = 0, part = 0, over = 0;
    if (!ReadCount(mag.substr(0, plus), whole) ||
        !ReadCount(mag.substr(plus + 1, slash - plus - 1), part) ||
        !ReadCount(mag.substr(slash + 1), over) || over == 0)
      return 0;
    return Rounded((static_cast<double>(whole) + static_cast<double>(part) / over) * baseDpi);
  }
  double factor = 0;
  if (!DecimalValue(mag, factor) || factor <= 0) return 0;
  return Rounded(factor * baseDpi);
}

bool ParseMakerRequest(const std::vector<std::string>& words, MakerRequest& request,
                       std::string& why) {
  request = MakerRequest();
  std::string mag;
  bool modeGiven = false;
  for (std::size_t i = 0; i < words.size(); ++i) {
    std::string word = words[i];
    std::string value;
    bool joined = false;
    std::size_t equals = word.find('=');
    if (word.compare(0, 2, "--") == 0 && equals != std::string::npos) {
      value = word.substr(equals + 1);
      word = word.substr(0, equals);
      joined = true;
    }
    bool takesValue = word == "--mfmode" || word == "--bdpi" || word == "--mag" ||
                      word == "--dpi" || word == "--destdir";
    if (takesValue) {
      if (!joined) {
        if (i + 1 >= words.size()) {
          why = StringPrintf(TR("no value after %s"), word.c_str());
          return false;
        }
        value = words[++i];
      }
      if (word == "--bdpi") request.baseDpi = SmallNumber(value);
      if (word == "--dpi") request.dpi = SmallNumber(value);
      if (word == "--mag") mag = value;
      if (word == "--destdir") request.destdir = value;
      if (word == "--mfmode") {
        modeGiven = true;
        request.mode = value == "/" ? std::string() : value;
      }
    } else if (word.compare(0, 2, "--") == 0) {
      why = StringPrintf(TR("unknown option %s"), word.c_str());
      return false;
    } else if (!request.name.empty() && i + 1 == words.size() && word.size() > 2 &&
               word.compare(0, 2, ">&") == 0 && SmallNumber(word.substr(2)) > 0) {
      // The old way of asking for the path on another descriptor.
      request.answerFd = SmallNumber(word.substr(2));
    } else if (request.name.empty()) {
      request.name = word;
    } else {
      why = TR("more than one font name");
      return false;
    }
  }
  if (request.dpi == 0 && !mag.empty()) request.dpi = ResolutionOfMag(mag, request.baseDpi);
  if (request.baseDpi == 0 || request.dpi == 0 || request.name.empty()) {
    why = TR("no font, --bdpi or --dpi");
    return false;
  }
  if (request.baseDpi > kMaxDriverResolution || request.dpi > kMaxDriverResolution) {
    why = StringPrintf(TR("a resolution above %d dpi"), kMaxDriverResolution);
    return false;
  }
  if (!IsPlainFontName(request.name)) {
    why = TR("not a usable font name");
    return false;
  }
  // The mode becomes a METAFONT word and a folder of the tree.
  if (modeGiven && !request.mode.empty() && !IsPlainFontName(request.mode)) {
    why = StringPrintf(TR("--mfmode %s: not a usable mode name"), VisibleText(request.mode).c_str());
    return false;
  }
  if (!request.destdir.empty() && !UsableDestdir(request.destdir)) {
    why = StringPrintf(TR("--destdir %s: not a usable folder"),
                       VisibleText(request.destdir).c_str());
    return false;
  }
  return true;
}

std::string ModeForBaseResolution(int dpi) {
  for (const BaseMode& entry : kBaseModes)
    if (entry.dpi == dpi) return entry.mode;
  return std::string();
}

DefaultMakerMode MakerDefaultMode(const std::string& kpathseaMode, int kpathseaDpi) {
  DefaultMakerMode result;
  if (!kpathseaMode.empty() && kpathseaMode != "/" && IsPlainFontName(kpathseaMode)) {
    result.mode = kpathseaMode;
    result.dpi = kpathseaDpi > 0 ? kpathseaDpi : 600;
  } else {
    result.mode = "ljfour";
    result.dpi = 600;
  }
  return result;
}

bool UsableDestdir(const std::string& destdir) {
  if (destdir.empty() || destdir.size() > 4000) return false;
  for (unsigned char c : destdir)
    if (c < 0x20 || c == 0x7f) return false;
  if (destdir[0] == '/') return true;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = destdir.find('/', start);
    std::string part = destdir.substr(start, end == std::string::npos ? end : end - start);
    if (part.empty() || part == "." || part == "..") return false;
    if (end == std::string::npos) return true;
    start = end + 1;
  }
}
