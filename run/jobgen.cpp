// The job generator walks the font lines of one font set, one entry per
// call, and keeps its place between calls (the definition reader stays
// open after the current font line while a set is in progress).
//
// Problems found in a font line are reported once per process: the batch
// walks every set twice (counting, then building), and the user should not
// be told the same thing twice.
#include "run/jobgen.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <map>
#include <set>
#include <string_view>
#include <utility>
#include <vector>

#include "deffile/reader.h"
#include "tex/layout.h"
#include "ui/dialogue.h"
#include "ui/log.h"

namespace {

// -1: no set in progress; 0: the current line is used up; 1 or more: the
// field that the next job comes from.
int entryIndex = -1;
int lineFieldCount = -1;
std::string fontLine;                 // the current font line, unsplit
std::vector<std::string> fontLineFields;
// Problems reported so far, by font line. The line's text is the key once,
// not a part of every problem's key: a long line with many bad entries
// would otherwise be copied for each of them.
std::map<std::string, std::set<std::string>> reportedProblems;
std::set<std::string>* fontLineProblems = nullptr;  // fontLine's, once looked up
std::set<std::pair<std::string, int>> presentFonts;
std::string entryFontName, entryMagnification, entryJob;
// fontLine as the reports show it, made once per line when first needed.
std::string fontLineShown;
bool fontLineShownReady = false;

// The layout's answer, remembering a font that is there already.
bool AlreadyPresent(const std::string& fontName, int resolution) {
  if (CurrentLayout().PkExists(fontName, resolution) != 1) return false;
  presentFonts.insert({fontName, resolution});
  return true;
}

// Leaves room for the +1 of the PK and GF search.
constexpr double kResolutionLimit = 2147483646.0;

bool IsLabelLine(const std::string& line) {
  return !line.empty() && line.back() == ':';
}

// True the first time a problem is met in this process.
bool FirstReport(const std::string& kind, const std::string& entry) {
  if (!fontLineProblems) fontLineProblems = &reportedProblems[fontLine];
  return fontLineProblems->insert(kind + '\n' + entry).second;
}

const std::string& VisibleFontLine() {
  if (!fontLineShownReady) fontLineShown = VisibleText(fontLine);
  fontLineShownReady = true;
  return fontLineShown;
}

// The warning box, formatted once: the texts can hold a long font line.
template <typename... Args>
void WarnUser(const char* format, Args... args) {
  MessageBoxPrintf(nullptr, kProductTitle, BOX_ICONWARNING | BOX_SETFOREGROUND, format, args...);
}

// The number at the start of text as atof reads it, but in plain decimal
// notation only, so that every platform reads the same value (no hex, no
// "inf", no locale). 0 when text holds none.
double ReadDecimal(std::string_view text) {
  std::size_t p = 0;
  const std::size_t size = text.size();
  while (p < size && (text[p] == ' ' || (text[p] >= '\t' && text[p] <= '\r'))) ++p;
  bool negative = false;
  if (p < size && (text[p] == '+' || text[p] == '-')) negative = text[p++] == '-';
  const std::size_t start = p;
  auto isDigit = [&](std::size_t i) { return i < size && text[i] >= '0' && text[i] <= '9'; };
  std::size_t digits = 0;
  while (isDigit(p)) ++p, ++digits;
  if (p < size && text[p] == '.') {
    ++p;
    while (isDigit(p)) ++p, ++digits;
  }
  if (digits == 0) return 0;
  if (p < size && (text[p] == 'e' || text[p] == 'E')) {
    std::size_t q = p + 1;
    if (q < size && (text[q] == '+' || text[q] == '-')) ++q;
    if (isDigit(q)) {
      while (isDigit(q)) ++q;
      p = q;
    }
  }
  double value = 0;
  auto result = std::from_chars(text.data() + start, text.data() + p, value);
  if (result.ec == std::errc::result_out_of_range) {
    // Beyond the double range: atof's answer (infinite, and the job is
    // refused; or next to 0).
    value = std::strtod(std::string(text.substr(start, p - start)).c_str(), nullptr);
  }
  return negative ? -value : value;
}

// Products are rounded to double here: an x87 build would otherwise keep
// extra precision and could round some resolutions differently.
double AsDouble(double value) {
  volatile double stored = value;
  return stored;
}

void EndOfSet() {
  CloseDefinitionReader();
  entryIndex = -1;
  lineFieldCount = -1;
}

// Splits the new font line. false when it has no entry (it is then passed
// over and the next call reads the next line).
bool SplitFontLine(RunSettings& settings) {
  fontLineProblems = nullptr;  // found when the line has a problem
  fontLineShownReady = false;
  // Split without a limit so that no entry of an overlong line is lost.
  int count = SplitFields(fontLine, ' ', fontLineFields,
                          static_cast<int>(fontLine.size()) + 1);
  if (count > kMaxFontLineFields && FirstReport("fields", std::string())) {
    ConsolePrintf(LOG_ALERT,
                  "Font line \"%s\" has %d fields (more than %d); all its entries are built",
                  fontLine.c_str(), count, kMaxFontLineFields);
    WarnUser(
        TR("定義ファイルのフォント行\n    %s\nには %d 個のフィールドがあります(上限は %d 個)。\n"
        "この行のフォントはすべて作成します。"),
        fontLine.c_str(), count, kMaxFontLineFields);
  }
  if (count < 2) {
    if (FirstReport("single", std::string()))
      ConsolePrintf(LOG_ALERT, "Font line \"%s\" has no font entry; passed over",
                    fontLine.c_str());
    entryIndex = 0;
    lineFieldCount = 0;
    return false;
  }
  lineFieldCount = count;
  entryIndex = 1;
  settings.fontPrefix = fontLineFields[0];
  return true;
}

// Reads the next line of the set into fontLine; false at the end of the set.
bool ReadFontLine(const std::string& path) {
  return ReadDefinitionLine(path, fontLine) && !IsLabelLine(fontLine);
}

}  // namespace

int RoundResolution(double value) {
  // A whole number within int formats as "N.000000": N itself, without the
  // cost of formatting (most entries are plain ones at the resolution).
  if (std::floor(value) == value && std::fabs(value) <= 2147483647.0)
    return static_cast<int>(value);
  std::string text = StringPrintf("%f", value);
  std::size_t point = text.find('.');
  std::string whole = text.substr(0, point);
  // The whole part as atoi reads it, held within int.
  long long number = 0;
  bool negative = false;
  std::size_t p = 0;
  if (p < whole.size() && (whole[p] == '-' || whole[p] == '+')) negative = whole[p++] == '-';
  for (; p < whole.size() && whole[p] >= '0' && whole[p] <= '9'; ++p) {
    if (number < 10000000000LL) number = number * 10 + (whole[p] - '0');
  }
  if (negative) number = -number;
  if (point != std::string::npos && point + 1 < text.size() && text[point + 1] >= '5')
    number += 1;
  if (number > 2147483647LL) number = 2147483647LL;
  if (number < -2147483647LL - 1) number = -2147483647LL - 1;
  return static_cast<int>(number);
}

const char* const kDocumentsLabel = "documents";

namespace {
std::size_t documentIndex = 0;  // the next of settings.documentFonts
}  // namespace

std::string MagnificationText(int resolution, int base) {
  if (base <= 0) return "1";
  long long whole = resolution / base, rest = resolution % base, denominator = base;
  long long a = rest, b = denominator;
  while (b != 0) {
    long long t = a % b;
    a = b;
    b = t;
  }
  if (a > 1) rest /= a, denominator /= a;
  if (rest == 0) return std::to_string(whole);
  if (whole < 4096 && denominator < 4096)
    return std::to_string(whole) + "+" + std::to_string(rest) + "/" + std::to_string(denominator);
  return StringPrintf("%.6f", static_cast<double>(resolution) / base);
}

int NextDocumentJob(RunSettings& settings, std::string& command) {
  std::size_t& next = documentIndex;
  while (next < settings.documentFonts.size()) {
    const DocumentFont& font = settings.documentFonts[next++];
    std::string job = settings.mfCommand + settings.modeName + "; nonstopmode; mag=" +
                      MagnificationText(font.resolution,
                                        static_cast<int>(settings.resolution)) +
                      "; input " + font.name;
    // The plan refuses such names with a report; a job never carries one.
    if (!IsPlainFontName(font.name)) continue;
    if (job.size() > kMaxCommandLine) continue;  // a name that long has no source either
    settings.fontName = font.name;
    settings.fontResolution = font.resolution;
    if (settings.overwrite == 0 && AlreadyPresent(settings.fontName, settings.fontResolution))
      continue;
    command = job;
    return 1;
  }
  next = 0;
  return 0;
}

std::vector<JobSource> RunJobSources(const RunSettings& settings) {
  std::vector<JobSource> sources;
  for (const FontSetNode* node = settings.fontSets.get(); node; node = node->next.get())
    sources.push_back({node->name, false});
  if (!settings.documentFonts.empty()) sources.push_back({kDocumentsLabel, true});
  return sources;
}

int NextJob(RunSettings& settings, const JobSource& source, std::string& command) {
  return source.documents ? NextDocumentJob(settings, command)
                          : NextMetafontJob(settings, source.label, command);
}

void ResetJobGenerator() {
  CloseDefinitionReader();
  entryIndex = -1;
  lineFieldCount = -1;
  fontLine.clear();
  fontLineFields.clear();
  reportedProblems.clear();
  fontLineProblems = nullptr;
  presentFonts.clear();
  documentIndex = 0;
}

int PresentFontCount() { return static_cast<int>(presentFonts.size()); }

void ForgetPresentFonts() { presentFonts.clear(); }

int NextMetafontJob(RunSettings& settings, const std::string& fontSetName,
                    std::string& command) {
  const std::string& path = settings.definitionPath;
  for (;;) {
    if (entryIndex == -1) {
      if (!FindFontSetLabel(path, fontSetName) || !ReadFontLine(path)) {
        EndOfSet();
        return 0;
      }
      if (!SplitFontLine(settings)) continue;
    } else if (entryIndex == 0) {
      if (!ReadFontLine(path)) {
        EndOfSet();
        return 0;
      }
      if (!SplitFontLine(settings)) continue;
    }

    const std::string& entry = fontLineFields[static_cast<std::size_t>(entryIndex)];
    // The texts of an entry go into strings kept from entry to entry: a set
    // has many entries, and most of them build no job.
    std::string& fontName = entryFontName;
    std::string& magnification = entryMagnification;
    std::string& job = entryJob;
    double value;
    fontName = settings.fontPrefix;
    // The first lower-case m marks a magstep; only an entry without any m
    // is searched for an asterisk.
    std::size_t marker = entry.find('m');
    if (marker != std::string::npos) {
      std::string_view step = std::string_view(entry).substr(marker + 1);
      fontName.append(entry, 0, marker);
      magnification.assign("magstep").append(step);
      value = AsDouble(AsDouble(std::pow(kMagstepBase, ReadDecimal(step))) *
                       settings.resolution);
    } else if ((marker = entry.find('*')) != std::string::npos) {
      std::string_view factor = std::string_view(entry).substr(marker + 1);
      fontName.append(entry, 0, marker);
      magnification.assign(factor);
      value = AsDouble(ReadDecimal(factor) * settings.resolution);
    } else {
      fontName.append(entry);
      magnification.assign("1");
      value = settings.resolution;
    }
    job.assign(settings.mfCommand)
        .append(settings.modeName)
        .append("; nonstopmode; mag=")
        .append(magnification)
        .append("; input ")
        .append(fontName);

    if (++entryIndex >= lineFieldCount) {
      entryIndex = 0;
      lineFieldCount = 0;
    }

    if (!std::isfinite(value) || std::fabs(value) >= kResolutionLimit) {
      if (FirstReport("resolution", entry)) {
        ConsolePrintf(LOG_ALERT,
                      "Font entry %s of the line \"%s\": resolution out of range; job refused",
                      entry.c_str(), fontLine.c_str());
        WarnUser(
            TR("定義ファイルのフォント行\n    %s\nの %s は解像度が大き過ぎるため作成出来ません。\n"
            "このフォントを飛ばして次に進みます。"),
            fontLine.c_str(), entry.c_str());
      }
      continue;
    }
    // The name becomes METAFONT's and gftopk's arguments and the names of the
    // files filed into the target: a path ("/", ".."), an option ("-..."),
    // control characters or an overlong name could reach outside it.
    if (!IsSafeFontFileName(fontName)) {
      if (FirstReport("name", entry)) {
        const std::string& shownLine = VisibleFontLine();
        const std::string shownName = VisibleText(fontName);
        ConsolePrintf(LOG_ALERT,
                      "Font entry %s of the line \"%s\": \"%s\" is not a usable font name; "
                      "job refused",
                      VisibleText(entry).c_str(), shownLine.c_str(), shownName.c_str());
        WarnUser(
            TR("定義ファイルのフォント行\n    %s\nのフォント名 %s はファイル名に使えないため"
            "作成出来ません。\nこのフォントを飛ばして次に進みます。"),
            shownLine.c_str(), shownName.c_str());
      }
      continue;
    }
    if (job.size() > kMaxCommandLine) {
      if (FirstReport("length", entry)) {
        ConsolePrintf(LOG_ALERT,
                      "Font entry %s of the line \"%s\": command line of %zu characters "
                      "(more than %zu); job refused",
                      entry.c_str(), fontLine.c_str(), job.size(), kMaxCommandLine);
        WarnUser(
            TR("定義ファイルのフォント行\n    %s\nの %s はコマンドラインが %zu 文字を超えるため"
            "作成出来ません。\nこのフォントを飛ばして次に進みます。"),
            fontLine.c_str(), entry.c_str(), kMaxCommandLine);
      }
      continue;
    }

    settings.fontName = fontName;
    settings.fontResolution = RoundResolution(value);
    if (settings.overwrite == 0 && AlreadyPresent(settings.fontName, settings.fontResolution))
      continue;
    command = job;
    return 1;
  }
}
