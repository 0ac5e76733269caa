#include "ui/term/options.h"

#include <strings.h>

#include "tex/driver.h"
#include "ui/log.h"

namespace {

const char* const kPriorityLabels[4] = {"特急", "急行", "普通", "徒歩"};
const char* const kPriorityWords[4] = {"realtime", "high", "normal", "idle"};

// Options that take a value, and where it goes.
std::string* ValueTarget(TermOptions& options, const std::string& name) {
  if (name == "--definition") return &options.definition;
  if (name == "--target-dir") return &options.targetDir;
  if (name == "--install") return &options.install;
  if (name == "--texmf") return &options.texmf;
  if (name == "--map") return &options.mapFile;
  if (name == "--driver") return &options.driver;
  if (name == "--mode") return &options.mode;
  return nullptr;
}

// Options that may be given more than once.
std::vector<std::string>* ListTarget(TermOptions& options, const std::string& name) {
  if (name == "--dvi") return &options.dvi;
  if (name == "--missfont") return &options.missfont;
  return nullptr;
}

bool IsModeWord(const std::string& text) {
  if (text.empty() || text.size() > 64) return false;
  for (char c : text)
    if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
          c == '_'))
      return false;
  return true;
}

}  // namespace

std::string TexmfVariable(const std::string& text) {
  if (text == "var") return "TEXMFVAR";
  if (text == "home") return "TEXMFHOME";
  return std::string();
}

int ParsePriority(const std::string& text) {
  for (int i = 0; i < 4; ++i) {
    if (text == kPriorityLabels[i] || strcasecmp(text.c_str(), kPriorityWords[i]) == 0 ||
        text == std::to_string(i))
      return i;
  }
  return -1;
}

int ParseReaction(const std::string& text) {
  static const char* const words[3] = {"stop", "confirm", "ignore"};
  static const int codes[3] = {'S', 'C', 'I'};
  for (int i = 0; i < 3; ++i) {
    if ((text.size() == 1 && (text[0] == codes[i] || text[0] == codes[i] + 32)) ||
        strcasecmp(text.c_str(), words[i]) == 0)
      return codes[i];
  }
  return 0;
}

int ParseJobs(const std::string& text) {
  if (text.empty() || text.size() > 3) return -1;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value <= kMaxJobs ? value : -1;
}

int ParseOversample(const std::string& text) {
  if (text.empty() || text.size() > 2) return -1;
  int value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return -1;
    value = value * 10 + (c - '0');
  }
  return value >= 1 && value <= kMaxOversampling ? value : -1;
}

ParseStatus ParseTermOptions(const std::vector<std::string>& args,
                             TermOptions& options, std::string& error) {
  bool help = false, version = false, optionsEnded = false;
  bool installGiven = false, definitionGiven = false, targetGiven = false;
  bool jobsGiven = false;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    // A negative number is a word (a resolution), not an option.
    bool isOption = !optionsEnded && arg.size() > 1 && arg[0] == '-' &&
                    !(arg[1] >= '0' && arg[1] <= '9');
    if (!isOption) {
      options.words.push_back(arg);
      continue;
    }
    if (arg == "--") { optionsEnded = true; continue; }
    std::string name = arg, value;
    bool hasValue = false;
    std::size_t equals = arg.find('=');
    if (arg.compare(0, 2, "--") == 0 && equals != std::string::npos) {
      name = arg.substr(0, equals);
      value = arg.substr(equals + 1);
      hasValue = true;
    } else if (arg.compare(0, 2, "-j") == 0 && arg.size() > 2) {
      name = "-j";  // -j4, as make takes it
      value = arg.substr(2);
      hasValue = true;
    }
    if (name == "-j") name = "--jobs";
    bool needsValue = ValueTarget(options, name) || ListTarget(options, name) ||
                      name == "--priority" || name == "--reaction" || name == "--jobs" ||
                      name == "--oversample";
    if (needsValue && !hasValue) {
      if (i + 1 >= args.size()) {
        error = StringPrintf(TR("option %s needs a value"), name.c_str());
        return ParseStatus::Usage;
      }
      value = args[++i];
      hasValue = true;
    }
    if (!needsValue && hasValue) {
      error = StringPrintf(TR("option %s takes no value"), name.c_str());
      return ParseStatus::Usage;
    }
    if (std::vector<std::string>* list = ListTarget(options, name)) {
      if (value.empty()) {
        error = StringPrintf(TR("option %s needs a non-empty value"), name.c_str());
        return ParseStatus::Usage;
      }
      list->push_back(value);
    } else if (std::string* target = ValueTarget(options, name)) {
      if (value.empty()) {
        error = StringPrintf(TR("option %s needs a non-empty value"), name.c_str());
        return ParseStatus::Usage;
      }
      *target = value;
      if (name == "--install") installGiven = true;
      if (name == "--definition") definitionGiven = true;
      if (name == "--target-dir") targetGiven = true;
    } else if (name == "--priority") {
      options.priority = ParsePriority(value);
      if (options.priority < 0) {
        error = StringPrintf(TR("--priority takes 特急, 急行, 普通, 徒歩, 0 to 3, or realtime, "
                                "high, normal, idle; not \"%s\""),
                             value.c_str());
        return ParseStatus::Usage;
      }
    } else if (name == "--reaction") {
      options.reaction = ParseReaction(value);
      if (!options.reaction) {
        error = StringPrintf(TR("--reaction takes S, C or I; not \"%s\""), value.c_str());
        return ParseStatus::Usage;
      }
    } else if (name == "--jobs") {
      options.jobs = ParseJobs(value);
      if (options.jobs < 0) {
        error = StringPrintf(TR("--jobs takes a number from 0 (one per CPU) to %d; not \"%s\""),
                             kMaxJobs, value.c_str());
        return ParseStatus::Usage;
      }
      jobsGiven = true;
      options.jobsGiven = true;
    } else if (name == "--oversample") {
      options.oversample = ParseOversample(value);
      if (options.oversample < 0) {
        error = StringPrintf(TR("--oversample takes a number from 1 to %d; not \"%s\""),
                             static_cast<int>(kMaxOversampling), value.c_str());
        return ParseStatus::Usage;
      }
    } else if (name == "--overwrite") {
      options.overwrite = true;
    } else if (name == "--debug") {
      options.debug = true;
    } else if (name == "--dry-run") {
      options.dryRun = true;
    } else if (name == "--detailed") {
      options.detailed = true;
    } else if (name == "--uninstall") {
      options.uninstall = true;
    } else if (name == "--no-wait") {
      options.noWait = true;
    } else if (name == "--list-words") {
      options.listWords = true;
    } else if (name == "--help" || name == "-h") {
      help = true;
    } else if (name == "--version" || name == "-V") {
      version = true;
    } else if (name == "--mktexpk") {
      // Its arguments are TeX's, not kiln's options.
      error = TR("--mktexpk must be the first argument");
      return ParseStatus::Usage;
    } else {
      error = StringPrintf(TR("unknown option %s"), arg.c_str());
      return ParseStatus::Usage;
    }
  }
  if (help) return ParseStatus::Help;
  if (options.listWords) return ParseStatus::Run;  // whatever else is on the line
  if (version) return ParseStatus::Version;
  if (installGiven + options.uninstall + options.dryRun > 1) {
    error = TR("--install, --uninstall and --dry-run exclude one another");
    return ParseStatus::Usage;
  }
  if (targetGiven && !options.texmf.empty()) {
    error = TR("--target-dir and --texmf exclude one another");
    return ParseStatus::Usage;
  }
  if ((installGiven || options.uninstall) &&
      (!options.words.empty() || definitionGiven || targetGiven ||
       options.mapFile != kMapDefault ||
       !options.texmf.empty() || !options.dvi.empty() || !options.missfont.empty() ||
       options.overwrite || options.debug || options.detailed || options.noWait ||
       options.priority >= 0 || options.reaction || jobsGiven)) {
    error = StringPrintf(TR("%s takes no other options and no RESOLUTION or FONTSET"),
                         installGiven ? "--install" : "--uninstall");
    return ParseStatus::Usage;
  }
  const bool documents = !options.dvi.empty() || !options.missfont.empty();
  if (!documents && (!options.driver.empty() || !options.mode.empty() || options.oversample)) {
    error = TR("--driver, --mode and --oversample apply to documents (--dvi, --missfont)");
    return ParseStatus::Usage;
  }
  Driver driver = Driver::Dvips;
  if (!options.driver.empty() && !ParseDriverName(options.driver, driver)) {
    error = StringPrintf(TR("--driver takes dvips, dvipng, xdvi or pdftex; not \"%s\""),
                         options.driver.c_str());
    return ParseStatus::Usage;
  }
  if (options.oversample && driver != Driver::Dvipng) {
    error = TR("--oversample belongs to --driver dvipng");
    return ParseStatus::Usage;
  }
  if (!options.mode.empty() && !IsModeWord(options.mode)) {
    error = StringPrintf(TR("--mode takes a METAFONT mode name (letters, digits, _); not \"%s\""),
                         options.mode.c_str());
    return ParseStatus::Usage;
  }
  std::vector<int> resolutions;
  if (documents && !options.words.empty() &&
      !ParseResolutionList(options.words[0], resolutions, error))
    return ParseStatus::Usage;
  return ParseStatus::Run;
}

std::string VersionText() { return "kiln (Fontkiln) 3.10\n"; }

std::string HelpText() {
  // One text per option and per paragraph, so that each is translated on
  // its own and an option added is a text added. Lines stay within 80
  // columns in every language.
  static const char* const kParts[] = {
      TR_NOOP("Usage: kiln [OPTIONS] [RESOLUTION [FONTSET...]]\n"
              "\n"
              "Builds the PK fonts of a TeX installation in one batch: for every font of the\n"
              "chosen font sets whose PK file is missing from the target directory, kiln\n"
              "runs METAFONT and gftopk, files the TFM and log files into the directories\n"
              "\"tfm\" and \"log\" of the target directory, and reports the time it took.\n"
              "\n"),
      TR_NOOP("  RESOLUTION      the printer's resolution in dots per inch (400, or 400dpi);\n"
              "                  it chooses the mode line of that resolution\n"
              "  FONTSET...      names of font sets of the definition file (case counts)\n"
              "\n"),
      TR_NOOP("With a RESOLUTION and FONTSETs (or a RESOLUTION alone, which chooses every\n"
              "set) that the definition file knows, and a usable TARGET_DIR, the batch\n"
              "starts at once. Otherwise, on a terminal, the settings screen opens; without\n"
              "a terminal kiln says why it cannot start and ends.\n"
              "\n"),
      TR_NOOP("Options:\n"),
      TR_NOOP("  --definition FILE  use FILE as the definition file for this run only\n"),
      TR_NOOP("  --install FILE     record FILE as the definition file (no questions)\n"),
      TR_NOOP("  --uninstall        forget the recorded definition file (asks first)\n"),
      TR_NOOP("  --target-dir DIR   build the fonts in DIR instead of TARGET_DIR\n"),
      TR_NOOP("  --texmf DIR        build into the TeX tree DIR instead of TARGET_DIR (see\n"
              "                     below); \"var\" and \"home\" name kpathsea's TEXMFVAR and\n"
              "                     TEXMFHOME (./var is a folder named var)\n"),
      TR_NOOP("  --dvi FILE         build the fonts that the DVI file FILE needs (again for\n"
              "                     more files; a folder stands for its .dvi files); virtual\n"
              "                     fonts are followed to their fonts\n"),
      TR_NOOP("  --missfont FILE    build the fonts that TeX programs asked for in FILE (a\n"
              "                     missfont.log): its \"mktexpk ... --bdpi B --dpi D NAME\"\n"
              "                     lines whose B is the mode's resolution\n"),
      TR_NOOP("  --driver NAME      the program that will use the documents' fonts: dvips\n"
              "                     (the default), dvipng, xdvi or pdftex (see below)\n"),
      TR_NOOP("  --mode MODE        the METAFONT mode for the documents' fonts instead of\n"
              "                     the driver's\n"),
      TR_NOOP("  --oversample Q     dvipng's -Q (default 4): it renders at -D times Q\n"),
      TR_NOOP("  --map FILE         the font map of the driver (default: dvips's psfonts.map\n"
              "                     as kpsewhich finds it; pdftex.map for pdfTeX): a font\n"
              "                     of the documents that the map names, and whose font\n"
              "                     file kpathsea finds, is drawn from that outline font\n"
              "                     and not built; \"none\" builds a bitmap for every font\n"),
      TR_NOOP("  --overwrite        build fonts whose PK file exists already\n"),
      TR_NOOP("  --debug            debug mode: time-stamped log lines on standard error\n"),
      TR_NOOP("  --priority P       priority of METAFONT and gftopk: 特急 (or 0, realtime),\n"
              "                     急行 (1, high), 普通 (2, normal; the default),\n"
              "                     徒歩 (3, idle); any but 普通 asks for confirmation\n"),
      TR_NOOP("  --reaction R       what a failed font does: S stop the batch, C ask\n"
              "                     whether to go on, I ignore it and go on; without it,\n"
              "                     the definition file's ERROR_REACTION, else S for font\n"
              "                     sets and I for documents (--dvi, --missfont)\n"),
      TR_NOOP("  -j, --jobs N       run up to N fonts at once (0: one per CPU; the default\n"
              "                     is the definition file's JOBS line, else 1), each in a\n"
              "                     scratch directory of the target\n"
              "                     directory from which its files are moved into place\n"),
      TR_NOOP("  --no-wait          refuse to start while another kiln builds in the same\n"
              "                     target directory or tree (by default it waits until\n"
              "                     the other has ended; Ctrl-C or SIGTERM end the wait)\n"),
      TR_NOOP("  --detailed         show the output of METAFONT and gftopk as it comes\n"
              "                     (by default it is kept, and shown when a font fails)\n"),
      TR_NOOP("  --dry-run          list the jobs a run would do, one per line on standard\n"
              "                     output: font name, tab, resolution, tab, METAFONT\n"
              "                     command line; nothing is run, created or deleted\n"),
      TR_NOOP("  --mktexpk ARGS     as the first argument: be the font maker that TeX's\n"
              "                     programs run, and build the one font that ARGS (TeX's\n"
              "                     mktexpk arguments) ask for (kiln --mktexpk --help)\n"),
      TR_NOOP("  -h, --help         this text\n"),
      TR_NOOP("  -V, --version      the program's version\n"),
      TR_NOOP("\n"
              "Fonts for documents: with --dvi or --missfont the jobs are the fonts the\n"
              "files need, each font at each resolution once, exactly as the driver will\n"
              "ask for them. No set-up is needed:\n"
              "  kiln --dvi paper.dvi\n"
              "RESOLUTION is the resolution the driver renders at (several: 100,120,200,\n"
              "each font at each in one batch); without it, the driver's own. The mode\n"
              "keeps its own resolution: each font's resolution is RESOLUTION times the\n"
              "document's magnification and the font's scale, METAFONT's mag is that over\n"
              "the mode's resolution, and the PK file goes under the mode's name. The\n"
              "mode is, first that applies: --mode; the definition file's mode line at\n"
              "RESOLUTION (not for dvipng); the driver's. The definition file (--definition\n"
              "FILE, else the recorded one, if it is there; never asked for) gives its MF,\n"
              "ERROR_REACTION and FORCE lines; without one METAFONT is the mf beside\n"
              "kpsewhich. The fonts go into kpathsea's TEXMFVAR tree unless --texmf or\n"
              "--target-dir says otherwise; TARGET_DIR is not used. FONTSETs named as well\n"
              "are built too, from the definition file, which then must have a mode line at\n"
              "RESOLUTION. A line on standard error says which mode, resolutions, METAFONT\n"
              "and tree were taken and where each came from.\n"),
      TR_NOOP("Drivers (--driver):\n"
              "  dvips    mode and resolution from the M and D lines of dvips's config.ps\n"
              "           (as kpsewhich finds it), else kpathsea's MAKETEX_MODE, else ljfour\n"
              "           at 600; map psfonts.map\n"
              "  dvipng   mode cx at 300 dpi; RESOLUTION is dvipng's -D (default 100), the\n"
              "           fonts are made at -D times its oversampling (4, or --oversample);\n"
              "           map psfonts.map\n"
              "  xdvi     mode and resolution from xdvi's resources (*mfmode, *pixelsPerInch\n"
              "           in the XDvi file kpsewhich finds), else as dvips; map psfonts.map\n"
              "           (give --map none when xdvi is told not to use Type1 fonts)\n"
              "  pdftex   \\pdfpkresolution and \\pdfpkmode of pdftexconfig.tex, else as\n"
              "           dvips; map pdftex.map\n"),
      TR_NOOP("A font without a METAFONT source that kpathsea finds is listed and not\n"
              "built. A DVI file named on its own, or a VF file, that cannot be read whole\n"
              "ends the run before anything is built; a damaged .dvi file of a folder is\n"
              "named and passed over, and the run ends with exit status 1. A font that\n"
              "fails does not stop the others unless --reaction or the definition file's\n"
              "ERROR_REACTION says so. Lookups go through kpathsea's kpsewhich (the one\n"
              "beside the MF command's program, else the one on PATH).\n"),
      TR_NOOP("\n"
              "A TeX tree (--texmf DIR): each PK file goes to\n"
              "DIR/fonts/pk/MODE/REL/NAME.DPIpk, REL being the folder of the font's source\n"
              "below fonts/source (public/cm for cmr10), or \"kiln\" for a source outside\n"
              "any TeX tree; a TFM file that kpathsea does not find already goes to\n"
              "DIR/fonts/tfm/REL/. METAFONT works in DIR/kiln, and the log files go to\n"
              "DIR/kiln/log. Every file is moved into place whole. A font that is in the\n"
              "tree already, or that kpathsea finds at the mode and resolution anywhere,\n"
              "is not built again (unless --overwrite). When DIR has an ls-R file, the new\n"
              "files are appended to it at the end of the batch. TARGET_DIR is not used.\n"
              "  kiln --driver dvipng --dvi ~/.cache/snippets 120\n"),
      TR_NOOP("\n"
              "Before the first font of a run (not a dry run), METAFONT is asked for the\n"
              "resolution of the chosen mode; when it differs from the mode line (a mode\n"
              "METAFONT does not know gives 2602), the error reaction decides: S ends the\n"
              "run, C asks, I writes a log line.\n"),
      TR_NOOP("\n"
              "While a batch runs, Ctrl-C asks whether to stop; OK stops it after the font\n"
              "being built (with -j, the fonts being built), which is finished and filed.\n"
              "SIGTERM stops it the same way without asking. Questions are answered on the\n"
              "terminal (O = OK, C = Cancel); without a terminal they take Cancel.\n"),
      TR_NOOP("\n"
              "The definition file (plain text; \"#\" starts a comment; keywords in capitals):\n"
              "  600 ljfour                   mode lines: resolution and METAFONT mode name\n"
              "  MF mf \\mode=                 how METAFONT is started (required)\n"
              "  TARGET_DIR /home/me/pk       where the PK files go (an existing directory)\n"
              "  ERROR_REACTION S             S, C or I, as --reaction\n"
              "  FORCE                        as --overwrite\n"
              "  BEGIN_SOURCE                 ends the header; the font sets follow\n"
              "  cm:                          a font-set label (its name, then a colon)\n"
              "  cmr 5 10 12                  font prefix and entries: cmr5 cmr10 cmr12\n"
              "  cmr 10m1 10m0.5              cmr10 at magstep 1 and magstep 0.5\n"
              "  cmbx 10*2                    cmbx10 magnified 2 times\n"
              "The file's path is recorded per user in $XDG_CONFIG_HOME/fontkiln/kiln\n"
              "(~/.config/fontkiln/kiln); on first use kiln asks for it.\n"),
      TR_NOOP("\n"
              "Exit status: 0 when the batch ran to its end and every font was built and\n"
              "its TFM and log files filed (or none was needed), 1 for any other end (a\n"
              "failed font, a file that could not be filed, a stop, settings that could not\n"
              "be applied), 2 for a usage error.\n"),
  };
  std::string text;
  for (const char* part : kParts) text += TR(part);
  return text;
}
