// METAFONT stand-in for the Wine tests: a Win32 console program that leaves
// the files METAFONT leaves in the current directory (NAME.<res>gf, NAME.tfm,
// NAME.log), computed from the first line METAFONT would read: its arguments,
// as the runtime splits the command line, joined with blanks, e.g.
//   mf \mode=nexthi; nonstopmode; mag=magstep1; input cmr10
// Controls (environment):
//   KILN_STANDIN_FAIL=a,b        write nothing for these fonts, exit 1
//   KILN_STANDIN_OFFBY=a,b:-1    write the GF file one resolution off (+1 by default)
//   KILN_STANDIN_SLEEP_MS=n      take n ms before writing (four output lines spread over
//                                them), so a stop can land mid-job
//   KILN_STANDIN_TIMES=1         also record "mf time FONT BEGIN END" (GetTickCount)
//   KILN_STANDIN_RECORD=file     append "mf start FONT LINE" and "mf done GFFILE" lines
#include <cmath>

#include "standin_common.h"

namespace {

struct Mode {
  const char* name;
  int dpi;
};
const Mode kModes[] = {
    {"nexthi", 400}, {"bitgraph", 118}, {"cx", 300}, {"ljfour", 600}, {"ljfive", 600},
};

std::string Trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t");
  if (a == std::string::npos) return std::string();
  size_t b = s.find_last_not_of(" \t");
  return s.substr(a, b - a + 1);
}

std::string FirstLine(int argc, char** argv) {
  std::string line;
  for (int i = 1; i < argc; ++i) line += (i > 1 ? " " : "") + std::string(argv[i]);
  return line;
}

bool StartsWith(const std::string& s, const char* prefix) {
  return s.compare(0, std::strlen(prefix), prefix) == 0;
}

// "magstep1", "magstep0.5", "2", "1.5": the magnification, or false when
// METAFONT would stop with an error.
bool EvalMag(const std::string& expr, double* mag) {
  std::string e = Trim(expr);
  const char* text = e.c_str();
  bool step = StartsWith(e, "magstep");
  if (step) text += 7;
  char* end = nullptr;
  double v = std::strtod(text, &end);
  if (end == text) return false;
  // "1+1/5", as documents' jobs write an exact magnification.
  if (!step && *end == '+') {
    char* slash = nullptr;
    double numerator = std::strtod(end + 1, &slash);
    if (*slash != '/') return false;
    double denominator = std::strtod(slash + 1, &end);
    if (denominator <= 0) return false;
    v += numerator / denominator;
  }
  if (*end != '\0') return false;
  *mag = step ? std::pow(1.2, v) : v;
  return *mag > 0;
}

int Fail(const std::string& line, const std::string& why) {
  std::printf("! %s.\n<*> %s\n", why.c_str(), line.c_str());
  standin::Record("mf error " + why + " " + line);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string line = FirstLine(argc, argv);
  std::printf("This is the METAFONT stand-in of the Fontkiln tests\n**%s\n", line.c_str());

  std::string mode, magText = "1", font;
  size_t start = 0;
  while (start <= line.size()) {
    size_t end = line.find(';', start);
    if (end == std::string::npos) end = line.size();
    std::string stmt = Trim(line.substr(start, end - start));
    if (!stmt.empty() && stmt[0] == '\\') stmt.erase(0, 1);
    if (StartsWith(stmt, "mode:=")) {
      mode = Trim(stmt.substr(6));
    } else if (StartsWith(stmt, "mode=")) {
      mode = Trim(stmt.substr(5));
    } else if (StartsWith(stmt, "mag:=")) {
      magText = stmt.substr(5);
    } else if (StartsWith(stmt, "mag=")) {
      magText = stmt.substr(4);
    } else if (StartsWith(stmt, "input ")) {
      font = Trim(stmt.substr(6));
    }
    start = end + 1;
  }
  if (font.empty()) return Fail(line, "No input file");
  standin::Record("mf start " + font + " " + line);

  int dpi = 0;
  for (const Mode& m : kModes)
    if (mode == m.name) dpi = m.dpi;
  if (dpi == 0) return Fail(line, "Unknown mode " + mode);
  double mag = 0;
  if (!EvalMag(magText, &mag)) return Fail(line, "Bad magnification " + magText);

  // METAFONT names the GF file by the rounded pixels per inch.
  int resolution = static_cast<int>(std::floor(dpi * mag + 0.5 + 1e-9));

  DWORD begun = GetTickCount();
  // A few lines spread over the job's time: were two jobs writing into one
  // console, their lines would mix.
  std::string ms = standin::Env("KILN_STANDIN_SLEEP_MS");
  DWORD sleep = ms.empty() ? 0 : static_cast<DWORD>(std::strtoul(ms.c_str(), nullptr, 10));
  for (int i = 1; i <= 4; ++i) {
    std::printf("[%s %d/4]\n", font.c_str(), i);
    std::fflush(stdout);
    Sleep(sleep / 4);
  }
  std::string fail = standin::Env("KILN_STANDIN_FAIL");
  if (standin::ListEntry(fail, font, nullptr)) return Fail(line, "Forced failure for " + font);
  std::string offBy;
  if (standin::ListEntry(standin::Env("KILN_STANDIN_OFFBY"), font, &offBy))
    resolution += offBy.empty() ? 1 : std::atoi(offBy.c_str());

  char gf[300];
  std::snprintf(gf, sizeof gf, "%s.%dgf", font.c_str(), resolution);
  std::string marker = "mode=" + mode + " mag=" + Trim(magText) + " font=" + font + "\n";
  bool ok = standin::WriteText(gf, "GF stand-in\n" + marker) &&
            standin::WriteText(font + ".tfm", "TFM stand-in\n" + marker) &&
            standin::WriteText(font + ".log", "This is the METAFONT stand-in\n**" + line +
                                                  "\nOutput written on " + gf + "\n");
  if (!ok) return Fail(line, "Cannot write the output files");
  std::printf("Output written on %s\n", gf);
  standin::Record(std::string("mf done ") + gf);
  if (!standin::Env("KILN_STANDIN_TIMES").empty())
    standin::Record("mf time " + font + " " + std::to_string(begun) + " " +
                    std::to_string(GetTickCount()));
  return 0;
}
