#include "ui/term/ondemand.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <map>
#include <memory>
#include <set>

#include "deffile/reader.h"
#include "deffile/runsettings.h"
#include "install/keystore_posix.h"
#include "run/batch.h"
#include "run/dirlock.h"
#include "run/filesys.h"
#include "run/jobgen.h"
#include "run/process_posix.h"
#include "ui/progress.h"
#include "tex/docjobs.h"
#include "tex/driver_command.h"
#include "tex/layout.h"
#include "tex/maker_request.h"
#include "tex/searchpath.h"
#include "tex/texlookup_posix.h"
#include "ui/log.h"
#include "ui/text.h"
#include "ui/term/documents.h"
#include "ui/term/mode_check.h"
#include "ui/term/parent_process.h"
#include "ui/term/paths.h"
#include "ui/term/term_output.h"

namespace {

// Names in the tree's work folder; none of them can be a font's or a
// batch's scratch folder's.
const char* const kRequestPrefix = ".kiln-request.";  // a request's private folder
const char* const kFontLockPrefix = ".kiln-font.";    // a font being built
// A request's folder is locked a moment after it is made: only an older
// one that nobody holds is a leftover.
constexpr int kLeftoverAgeSeconds = 10;

void Say(const std::string& text) { Output().Print(stderr, "kiln: " + text + "\n"); }

// What one kpsewhich call tells: TeX's variables, the font's source and
// TFM file, and METAFONT's base file (for the mode answers kept).
struct KpathseaAnswers {
  std::string texmfvar;
  std::string mode;    // MAKETEX_MODE
  int modeDpi = 0;     // MAKETEX_BASE_DPI
  std::string source;
  std::string tfm;
  std::string base;
};

std::string BaseName(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// One process for everything a request needs to know before it builds:
// a separate call per question would cost as much as the rest of kiln's
// part of the work.
bool AskKpathsea(const std::string& kpsewhich, const std::string& name,
                 const std::string& baseFile, KpathseaAnswers& answers, std::string& error) {
  std::string output;
  int status = 0;
  const std::vector<std::string> argv = {
      kpsewhich, "-engine=metafont",
      "-expand-var=$TEXMFVAR\n$MAKETEX_MODE\n$MAKETEX_BASE_DPI", name + ".mf", name + ".tfm",
      baseFile};
  if (!RunForOutput(argv, std::string(), output, status, error)) return false;
  std::vector<std::string> lines = TextLines(output);
  if (lines.size() < 3) {
    error = TR("kpsewhich gave no answer");
    return false;
  }
  answers.texmfvar = lines[0];
  answers.mode = lines[1];
  answers.modeDpi = std::atoi(lines[2].c_str());
  for (std::size_t i = 3; i < lines.size(); ++i) {
    const std::string base = BaseName(lines[i]);
    if (base == name + ".mf") answers.source = lines[i];
    if (base == name + ".tfm") answers.tfm = lines[i];
    if (base == baseFile) answers.base = lines[i];
  }
  return true;
}

std::string FontKey(const std::string& mode, const std::string& name, int dpi) {
  return mode + "." + name + "." + std::to_string(dpi);
}

// The fonts this request builds: a lock file each in the work folder, held
// while the font is built. Another program that wants the same font waits
// for it (the request's own font) or leaves it to the holder (the other
// fonts of a document).
class FontClaims : public JobClaims {
 public:
  FontClaims(std::string work, std::string mode, TreeLayout& layout)
      : work_(std::move(work)), mode_(std::move(mode)), layout_(layout) {}
  ~FontClaims() override {
    for (const auto& held : held_) UnlockFileByName(held.second, held.first);
  }

  // The request's own font, waiting for a program that builds it already.
  // false with error when no lock can be had; then the font is built
  // unlocked.
  bool ClaimAndWait(const std::string& name, int dpi, std::string& error) {
    const std::string path = LockPath(name, dpi);
    NamedLock lock = LockFileByName(path, true);
    if (lock.result != DirLockResult::Locked) {
      error = lock.errorText;
      return false;
    }
    held_[path] = lock.fd;
    own_ = path;
    return true;
  }

  bool Claim(const std::string& fontName, int resolution) override {
    const std::string path = LockPath(fontName, resolution);
    if (path == own_) return true;
    NamedLock lock = LockFileByName(path, false);
    // Where there are no locks, every font is built as if alone.
    if (lock.result == DirLockResult::Failed || lock.result == DirLockResult::Unsupported)
      return true;
    if (lock.result != DirLockResult::Locked) return false;
    // Built by another program since the batch looked.
    if (PathExists(layout_.PkPath(fontName, resolution))) {
      UnlockFileByName(lock.fd, path);
      return false;
    }
    held_[path] = lock.fd;
    return true;
  }

  void Release(const std::string& fontName, int resolution) override {
    const std::string path = LockPath(fontName, resolution);
    if (path == own_) return;  // held to the end of the request
    auto held = held_.find(path);
    if (held == held_.end()) return;
    UnlockFileByName(held->second, path);
    held_.erase(held);
  }

 private:
  std::string LockPath(const std::string& name, int dpi) const {
    return work_ + "/" + kFontLockPrefix + FontKey(mode_, name, dpi);
  }

  std::string work_;
  std::string mode_;
  TreeLayout& layout_;
  std::map<std::string, int> held_;  // lock file -> descriptor
  std::string own_;
};

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::strlen(prefix), prefix) == 0;
}

// Removes folder and everything below it (a request's folder holds plain
// files and the batch's scratch folders).
void RemoveTree(const std::string& folder) {
  std::vector<std::string> names;
  if (ListDirectory(folder, names))
    for (const std::string& name : names) {
      const std::string path = folder + "/" + name;
      if (DirectoryStatus(path) == 1 && !IsRegularFile(path))
        RemoveTree(path);
      else
        RemoveFile(path);
    }
  RemoveEmptyDirectory(folder);
}

bool OlderThan(const std::string& path, int seconds) {
  struct stat status;
  return lstat(path.c_str(), &status) == 0 && std::time(nullptr) - status.st_mtime >= seconds;
}

// What killed requests left in the work folder: private folders nobody
// holds, lock files nobody holds.
void SweepWorkFolder(const std::string& work) {
  std::vector<std::string> names;
  if (!ListDirectory(work, names)) return;
  for (const std::string& name : names) {
    const std::string path = work + "/" + name;
    if (StartsWith(name, kRequestPrefix)) {
      if (!OlderThan(path, kLeftoverAgeSeconds) || DirectoryStatus(path) != 1) continue;
      DirLock probe;
      if (probe.Acquire(path) != DirLockResult::Locked) continue;
      probe.Release();
      RemoveTree(path);
      ConsolePrintf(LOG_INFO, "Removed %s, left by a request that was killed", path.c_str());
    } else if (StartsWith(name, kFontLockPrefix)) {
      NamedLock lock = LockFileByName(path, false);
      if (lock.result == DirLockResult::Locked) UnlockFileByName(lock.fd, path);
    }
  }
}

// A driver whose document has been built keeps asking: kpathsea lists a
// tree's folders once, when it starts, so in a tree whose folders did not
// exist then it finds none of the new fonts and asks for each. Its
// requests are answered from the record of what was built for it, without
// a lookup. The records live in the user's cache folder, one per driver
// process (its number and start time), each line "KEY<TAB>PATH".
std::string ServedFolder() {
  const std::string modes = ModeCachePath();  // .../fontkiln/modes
  return modes.empty() ? std::string() : modes.substr(0, modes.rfind('/')) + "/served";
}

std::string RequestKey(const MakerRequest& request) {
  return StringPrintf("%s %d %d %s %s", request.mode.empty() ? "/" : request.mode.c_str(),
                      request.baseDpi, request.dpi, request.name.c_str(),
                      request.destdir.c_str());
}

// The path recorded for the request, when the file is still there.
std::string ServedPath(const std::string& record, const std::string& key) {
  std::ifstream in(record);
  std::string line;
  while (std::getline(in, line))
    if (line.size() > key.size() + 1 && line.compare(0, key.size(), key) == 0 &&
        line[key.size()] == '\t') {
      const std::string path = line.substr(key.size() + 1);
      return IsRegularFile(path) ? path : std::string();
    }
  return std::string();
}

// Records of drivers that have ended.
void SweepServed(const std::string& folder) {
  std::vector<std::string> names;
  if (!ListDirectory(folder, names)) return;
  for (const std::string& name : names) {
    const std::size_t dot = name.find('.');
    if (dot == std::string::npos ||
        !ProcessAlive(std::atol(name.substr(0, dot).c_str()), name.substr(dot + 1)))
      RemoveFile(folder + "/" + name);
  }
}

// The document of the driver that asks, when it can be told: the fonts it
// will ask for from it, as `kiln --dvi` plans them at the request's mode and
// resolutions. Empty when the parent is no driver kiln knows, its command
// line cannot be read or narrows the pages, its document cannot be read,
// the request is not among the planned fonts (then the plan is not what the
// driver does), or this driver's document has been built once already.
std::vector<DocumentFont> DriverDocumentFonts(const MakerRequest& request,
                                              const ParentProcess& parent, bool served,
                                              CachedTexLookup& lookup) {
  DriverCommand command;
  std::string why;
  if (parent.pid == 0 || !ReadDriverCommand(parent.argv, command, why)) {
    if (!why.empty()) ConsolePrintf(LOG_INFO, "One font only: %s", why.c_str());
    return {};
  }
  // The driver asks again for fonts that failed, or that were not planned:
  // those come one at a time.
  if (served) return {};
  std::string dvi = command.dvi[0] == '/' ? command.dvi : parent.directory + "/" + command.dvi;
  if (!IsRegularFile(dvi) && IsRegularFile(dvi + ".dvi")) dvi += ".dvi";
  int render = request.baseDpi;
  if (command.driver == Driver::Dvipng)
    render = (command.resolution ? command.resolution : kDvipngDefaultDpi) *
             (command.oversample ? command.oversample : kDvipngOversampling);
  else if (command.driver == Driver::Xdvi && command.resolution)
    render = command.resolution;
  FontMapChoice map;
  map.file = command.map.empty() ? DriverDefaultMap(command.driver) : command.map;
  map.optional = command.map.empty();
  DocumentPlan plan;
  std::string error;
  if (!PlanDocumentFonts({dvi}, {}, render, map, lookup, plan, error,
                         static_cast<std::uint32_t>(command.magnification))) {
    ConsolePrintf(LOG_INFO, "One font only: %s", error.c_str());
    return {};
  }
  bool asked = false;
  for (const DocumentFont& font : plan.fonts)
    asked = asked || (font.name == request.name && font.resolution == request.dpi);
  if (!asked) {
    ConsolePrintf(LOG_INFO, "One font only: %s at %d is not among the %zu fonts planned for %s",
                  request.name.c_str(), request.dpi, plan.fonts.size(), dvi.c_str());
    return {};
  }
  Say(StringPrintf(TR("%zu fonts of %s for %s"), plan.fonts.size(), dvi.c_str(),
                   DriverName(command.driver)));
  return plan.fonts;
}

// The recorded definition file's MF line, else the mf beside kpsewhich.
std::string MakerMfCommand() {
  FileKeyStore keys;
  std::string recorded, mf;
  if (keys.ReadDataFilePath(recorded) == KeyStatus::Ok && IsRegularFile(recorded) &&
      ReadMfCommand(recorded, mf))
    return mf;
  return MfCommandBesideKpsewhich();
}

// The mode to build in, as on-demand making takes it: the one asked for
// (or the default one) when METAFONT prints it at the base resolution,
// else the mode known for that resolution. Empty when there is none.
std::string MakerMode(const MakerRequest& request, const KpathseaAnswers& answers,
                      const std::string& mf) {
  const std::string asked =
      request.mode.empty() ? MakerDefaultMode(answers.mode, answers.modeDpi).mode : request.mode;
  const int answer = AskModeResolution(mf, asked, answers.base);
  // No answer: METAFONT does not run, which the build reports.
  if (answer == 0 || answer == request.baseDpi) return asked;
  const std::string known = ModeForBaseResolution(request.baseDpi);
  // A program that named no mode is told nothing about the default one.
  const std::string text = StringPrintf(
      TR("mode %s prints at %d dpi, not %d; %s"), asked.c_str(), answer, request.baseDpi,
      known.empty() ? TR("no other mode is known for that resolution")
                    : StringPrintf(TR("mode %s is taken"), known.c_str()).c_str());
  if (request.mode.empty())
    ConsolePrintf(LOG_INFO, "%s", text.c_str());
  else
    Say(text);
  if (known.empty()) return std::string();
  const int knownAnswer = AskModeResolution(mf, known, answers.base);
  if (knownAnswer != 0 && knownAnswer != request.baseDpi) {
    Say(StringPrintf(TR("mode %s prints at %d dpi, not %d"), known.c_str(), knownAnswer,
                     request.baseDpi));
    return std::string();
  }
  return known;
}

// What was built for the driver, so that its later requests are answered
// at once, and that it is not planned for again.
void WriteServed(const std::string& record, const std::string& folder,
                 const MakerRequest& request, const std::vector<DocumentFont>& fonts,
                 TreeLayout& layout) {
  if (!MakeDirectories(folder)) return;
  SweepServed(folder);
  std::string text;
  for (const DocumentFont& font : fonts) {
    const std::string path = layout.PkPath(font.name, font.resolution);
    if (!IsRegularFile(path)) continue;
    MakerRequest asked = request;
    asked.name = font.name;
    asked.dpi = font.resolution;
    text += RequestKey(asked) + "\t" + path + "\n";
  }
  std::FILE* out = std::fopen(record.c_str(), "w");
  if (!out) return;
  bool written = std::fwrite(text.data(), 1, text.size(), out) == text.size();
  if (std::fclose(out) != 0 || !written) RemoveFile(record);
}

bool Answer(int fd, const std::string& path) {
  const std::string line = path + "\n";
  std::size_t done = 0;
  while (done < line.size()) {
    ssize_t n = write(fd, line.data() + done, line.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

int Failed(const std::string& text) {
  Say(text);
  return 1;
}

}  // namespace

std::string MakerHelpText() {
  return TR("Usage: kiln --mktexpk [--mfmode MODE] --bdpi BASE [--mag MAG] --dpi DPI\n"
            "                      [--destdir DIR] NAME [>&N]\n"
            "Builds the PK font NAME at DPI dpi for TeX's programs, which run the\n"
            "program mktexpk first on PATH when kpathsea finds no PK file; the\n"
            "folder lib/fontkiln/bin beside kiln's bin holds one that runs this.\n"
            "The font goes into TEXMFVAR (fonts/pk/MODE/SUPPLIER/TYPEFACE/), or into\n"
            "DIR when it is absolute, or TEXMFVAR/fonts/pk/MODE/DIR when it is not.\n"
            "MODE \"/\" stands for kpathsea's default mode; a mode that METAFONT does\n"
            "not print at BASE dpi is replaced by the mode known for that resolution.\n"
            "The path of the PK file is printed as the last line of standard output\n"
            "(or on descriptor N); when the font cannot be built, nothing is printed\n"
            "there, standard error says why, and the exit status is 1.\n"
            "When the program that asks is dvips, dvipng or xdvi and its command line\n"
            "names a DVI file, the first request builds every font that the program\n"
            "will ask for from that document, several at once.\n");
}

int RunMakerRequest(const std::vector<std::string>& words) {
  for (const std::string& word : words) {
    if (word == "--help") {
      std::fputs(MakerHelpText().c_str(), stdout);
      return 0;
    }
    if (word == "--version") {
      std::fputs(VersionText().c_str(), stdout);
      return 0;
    }
  }
  MakerRequest request;
  std::string why;
  if (!ParseMakerRequest(words, request, why))
    return Failed(StringPrintf(TR("--mktexpk: %s"), why.c_str()));
  ParentProcess parent;
  if (!ReadParentProcess(parent)) parent = ParentProcess();
  const std::string servedFolder = ServedFolder();
  const std::string record = parent.pid == 0 || servedFolder.empty()
                                 ? std::string()
                                 : servedFolder + "/" + std::to_string(parent.pid) + "." +
                                       parent.startTime;
  if (!record.empty()) {
    const std::string path = ServedPath(record, RequestKey(request));
    if (!path.empty()) return Answer(request.answerFd, path) ? 0 : 1;
  }

  const std::string mf = MakerMfCommand();
  const std::string kpsewhich = KpsewhichFor(mf);
  KpathseaAnswers answers;
  std::string error;
  if (!AskKpathsea(kpsewhich, request.name, BaseFileOfCommand(mf), answers, error))
    return Failed(StringPrintf(TR("kpathsea cannot be asked where the font goes: %s"),
                               error.c_str()));
  if (answers.source.empty())
    return Failed(StringPrintf(TR("no METAFONT source found for %s; not built"),
                               request.name.c_str()));
  if (answers.texmfvar.empty() || answers.texmfvar[0] != '/')
    return Failed(TR("kpathsea gives no TEXMFVAR to put the font in"));

  const std::string mode = MakerMode(request, answers, mf);
  if (mode.empty())
    return Failed(StringPrintf(TR("%s at %d dpi is not built: no mode for %d dpi devices "
                                  "(name one with the driver's mode option)"),
                               request.name.c_str(), request.dpi, request.baseDpi));

  PosixKpsewhichLookup kpathsea(kpsewhich);
  CachedTexLookup lookup(kpathsea);
  lookup.Remember(TexFileKind::MetafontSource, request.name, answers.source);
  lookup.Remember(TexFileKind::Tfm, request.name, answers.tfm);
  // kpathsea has just found no PK file for it: that is why kiln runs.
  lookup.RememberPk(request.name, mode, request.dpi, std::string());
  const std::string root = answers.texmfvar;
  const std::string work = root + "/" + kTreeWorkDir;
  TreeLayout layout(root, mode, lookup);
  if (!request.destdir.empty()) layout.SetPkFolder(request.destdir);
  layout.SetLogDirectory(work + "/log");
  layout.SetShared(true);
  const std::string pk = layout.PkPath(request.name, request.dpi);
  if (PathExists(pk)) return Answer(request.answerFd, pk) ? 0 : 1;

  if (!MakeDirectories(work))
    return Failed(StringPrintf(TR("the TeX tree %s cannot be used: %s: %s"), root.c_str(),
                               work.c_str(), LastErrorText().c_str()));
  SweepWorkFolder(work);
  FontClaims claims(work, mode, layout);
  if (!claims.ClaimAndWait(request.name, request.dpi, error))
    ConsolePrintf(LOG_WARNING, "No lock for %s (%s): built without one", pk.c_str(),
                  error.c_str());
  // Built meanwhile by the program it waited for.
  if (PathExists(pk)) return Answer(request.answerFd, pk) ? 0 : 1;

  // METAFONT runs in the private folder and must find a source beside the
  // document, as kpathsea's "." did for the lookup above.
  const std::string start = CurrentDirectory();
  const std::string withStart = SearchPathWithFolder(start, std::getenv("MFINPUTS"));
  if (!withStart.empty()) setenv("MFINPUTS", withStart.c_str(), 1);
  kpathsea.SetDirectories(std::string(), start);

  std::vector<DocumentFont> fonts =
      DriverDocumentFonts(request, parent, !record.empty() && PathExists(record), lookup);
  const bool wholeDocument = !fonts.empty();
  if (!wholeDocument) fonts = {{request.name, request.dpi}};

  std::string folder = work + "/" + kRequestPrefix + "XXXXXX";
  std::vector<char> pattern(folder.begin(), folder.end());
  pattern.push_back('\0');
  if (!mkdtemp(pattern.data()))
    return Failed(StringPrintf(TR("the TeX tree %s cannot be used: %s: %s"), root.c_str(),
                               work.c_str(), LastErrorText().c_str()));
  folder = pattern.data();
  DirLock folderLock;
  folderLock.Acquire(folder);

  runSettings.mfCommand = mf;
  runSettings.modeName = mode;
  runSettings.resolution = request.baseDpi;
  runSettings.targetDir = folder;
  runSettings.treeRoot = root;
  runSettings.overwrite = 0;
  runSettings.documentFonts = fonts;
  // A driver asks no questions: a font that fails leaves the others to be built.
  errorReaction = 'I';
  batchRules.fileFailedJobs = true;
  batchRules.countEachJobOnce = true;
  SetOutputLayout(&layout);
  if (wholeDocument) layout.Prefetch(fonts);
  SetJobClaims(&claims);
  PosixProcessRunner runner;
  runner.SetOutput(PosixProcessRunner::Output::Capture);
  // Nothing is drawn: standard output carries the answer alone, and the
  // driver prints its own progress.
  NoProgressView progress;
  ChangeDirectory(folder);
  RunBatch(progress, runner, wholeDocument ? AvailableCpus() : 1);
  ChangeDirectory(start);
  SetJobClaims(nullptr);
  SetOutputLayout(nullptr);
  folderLock.Release();
  RemoveTree(folder);
  if (wholeDocument && !record.empty()) WriteServed(record, servedFolder, request, fonts, layout);

  if (IsRegularFile(pk)) return Answer(request.answerFd, pk) ? 0 : 1;
  for (const FailedFont& failed : failedFonts)
    if (failed.fontName == request.name)
      return Failed(StringPrintf(TR("%s at %d dpi (mode %s) could not be built: %s; log: %s"),
                                 request.name.c_str(), request.dpi, mode.c_str(),
                                 failed.reason.c_str(),
                                 failed.logPath.empty() ? TR("none") : failed.logPath.c_str()));
  return Failed(StringPrintf(TR("%s at %d dpi (mode %s) could not be built; METAFONT's log "
                                "is in %s"),
                             request.name.c_str(), request.dpi, mode.c_str(),
                             (work + "/log").c_str()));
}
