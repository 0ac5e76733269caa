#include "ui/term/documents.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <set>

#include "deffile/reader.h"
#include "deffile/runsettings.h"
#include "run/filesys.h"
#include "run/jobgen.h"
#include "run/process_posix.h"
#include "run/sequence.h"
#include "tex/docjobs.h"
#include "tex/searchpath.h"
#include "ui/log.h"
#include "ui/settings_model.h"
#include "ui/term/mode_check.h"
#include "ui/log.h"
#include "ui/term/paths.h"
#include "ui/term/term_output.h"

namespace {

void Say(const std::string& text) { Output().Print(stderr, text); }

std::string JoinDpis(const std::vector<int>& dpis) {
  std::string text;
  for (int dpi : dpis) text += (text.empty() ? "" : ",") + std::to_string(dpi);
  return text;
}

// The definition file's mode line at resolution, or the first naming mode
// (whichever is asked); false when it has none.
bool FindModeLine(const std::string& file, int resolution, const std::string& mode,
                  int& foundResolution, std::string& foundMode) {
  int lineResolution = 0;
  std::string lineMode;
  bool found = false;
  while (NextMode(file, lineResolution, lineMode)) {
    if (mode.empty() ? lineResolution == resolution : lineMode == mode) {
      foundResolution = lineResolution;
      foundMode = lineMode;
      found = true;
      break;
    }
  }
  CloseDefinitionReader();
  return found;
}

void AddOnce(std::vector<std::string>& list, const std::string& text) {
  if (std::find(list.begin(), list.end(), text) == list.end()) list.push_back(text);
}

std::string Absolute(const std::string& path) {
  std::string full = AbsolutePath(path);
  if (!full.empty() && full[0] == '/') return full;
  return CurrentDirectory() + "/" + path;
}

// Stands in for the tree while the font sets' jobs are listed: it records
// each job the generator would check, and finds none present.
class JobRecorder : public OutputLayout {
 public:
  void Prepare() override {}
  int PkExists(const std::string& fontName, int resolution) override {
    fonts.push_back({fontName, resolution});
    return 0;
  }
  int FileOutputs(const std::string&, int, const std::string&) override { return 0; }
  std::vector<DocumentFont> fonts;
};

// Every job of the chosen font sets (whether built already or not).
std::vector<DocumentFont> FontSetJobs() {
  JobRecorder recorder;
  OutputLayout& tree = CurrentLayout();
  SetOutputLayout(&recorder);
  const int overwrite = runSettings.overwrite;
  runSettings.overwrite = 0;  // so that every job is checked, and recorded
  std::string command;
  for (const FontSetNode* node = runSettings.fontSets.get(); node; node = node->next.get())
    while (NextMetafontJob(runSettings, node->name, command)) {
    }
  runSettings.overwrite = overwrite;
  SetOutputLayout(&tree);
  return recorder.fonts;
}

}  // namespace

std::string UnreadableDocumentText(const std::string& error) {
  return StringPrintf(TR("kiln: %s\nkiln: the run ends; no font is built\n"), error.c_str());
}

std::string NoKpathseaText(const std::string& failure) {
  return StringPrintf(TR("kiln: kpathsea cannot be asked where the fonts are: %s\n"
                         "kiln: the run ends; no font is built\n"),
                      failure.c_str());
}

FontMapChoice MapChoiceFor(const TermOptions& options, Driver driver) {
  FontMapChoice choice;
  if (options.mapFile == kMapDefault) {
    choice.file = DriverDefaultMap(driver);  // the driver's, when there is one
    return choice;
  }
  choice.file = options.mapFile;
  choice.optional = false;
  return choice;
}

std::string OutlineListText(int count, const std::string& map) {
  if (count <= 0) return std::string();
  if (count == 1)
    return StringPrintf(TR("kiln: 1 font is drawn from an outline font (%s); not built\n"),
                        map.c_str());
  return StringPrintf(TR("kiln: %d fonts are drawn from outline fonts (%s); not built\n"), count,
                      map.c_str());
}

std::string WithoutSourceText(const std::vector<std::string>& names) {
  std::string text =
      names.size() == 1
          ? std::string(TR("kiln: no METAFONT source found for 1 font; not built:"))
          : StringPrintf(TR("kiln: no METAFONT source found for %zu fonts; not built:"),
                         names.size());
  for (const std::string& name : names) text += " " + name;
  return text + "\n";
}

std::string MfCommandBesideKpsewhich() {
  const std::string plain = "mf \\mode=";
  std::string kpsewhich = ProgramOnPath("kpsewhich");
  if (kpsewhich.empty()) return plain;
  std::string beside = kpsewhich.substr(0, kpsewhich.rfind('/')) + "/mf";
  if (!IsExecutableFile(beside) || ProgramOnPath("mf") == beside) return plain;
  // The command line is split as a Windows program's is: quotes group.
  if (beside.find_first_of(" \t\"") != std::string::npos) {
    if (beside.find('"') != std::string::npos) return plain;
    beside = "\"" + beside + "\"";
  }
  return beside + " \\mode=";
}

bool DviFilesIn(const std::string& folder, std::vector<std::string>& files,
                std::string& error) {
  DIR* dir = opendir(folder.c_str());
  if (!dir) {
    error = StringPrintf(TR("%s: cannot be read: %s"), folder.c_str(), LastErrorText().c_str());
    return false;
  }
  std::vector<std::string> names;
  while (const dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name.size() > 4 && name.compare(name.size() - 4, 4, ".dvi") == 0 &&
        IsRegularFile(folder + "/" + name))
      names.push_back(name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end());
  std::string prefix = folder.back() == '/' ? folder : folder + "/";
  for (const std::string& name : names) files.push_back(prefix + name);
  return true;
}

DocumentRun::DocumentRun(const TermOptions& options) : options_(options) {
  if (!options_.driver.empty()) ParseDriverName(options_.driver, driver_);
  std::string error;
  if (documentsGiven() && !options_.words.empty() &&
      ParseResolutionList(options_.words[0], renderDpis_, error)) {
    renderFrom_ = TR("the command line");
    if (driver_ == Driver::Dvipng) {
      const int oversample = options_.oversample ? options_.oversample : kDvipngOversampling;
      for (int& dpi : renderDpis_) dpi *= oversample;
      renderFrom_ = StringPrintf(TR("-D %s times oversampling %d, the command line"),
                                 options_.words[0].c_str(), oversample);
    }
  }
}

DriverDefaults DocumentRun::AskDriver() {
  DriverSources sources;
  const char* config = driver_ == Driver::Dvips    ? "config.ps"
                       : driver_ == Driver::Pdftex ? "pdftexconfig.tex"
                       : driver_ == Driver::Xdvi   ? "XDvi"
                                                   : nullptr;
  if (config) {
    // One kpsewhich: kpathsea's own mode and base resolution, then the file.
    Lookup();
    std::vector<std::string> argv = {kpsewhich_->program(),
                                     "-expand-var=$MAKETEX_MODE $MAKETEX_BASE_DPI", config};
    if (driver_ == Driver::Xdvi) argv.insert(argv.begin() + 1, "-progname=xdvi");
    std::string output, failure;
    int status = 0;
    if (RunForOutput(argv, CurrentDirectory(), output, status, failure)) {
      std::size_t newline = output.find('\n');
      std::string first = output.substr(0, newline);
      std::size_t blank = first.find(' ');
      if (blank != std::string::npos) {
        sources.kpathseaMode = first.substr(0, blank);
        sources.kpathseaDpi = std::atoi(first.c_str() + blank + 1);
      }
      if (newline != std::string::npos) {
        std::string path = output.substr(newline + 1);
        while (!path.empty() && (path.back() == '\n' || path.back() == '\r')) path.pop_back();
        std::vector<unsigned char> bytes;
        std::string error;
        if (!path.empty() && ReadWholeFile(path, 1 << 20, bytes, error)) {
          sources.configPath = path;
          sources.configText.assign(bytes.begin(), bytes.end());
        }
      }
    }
  }
  return DefaultsForDriver(driver_, sources);
}

int DocumentRun::Locate(KeyStore& keys, std::string& path) {
  // Font sets come from the definition file only: named, it is needed as always.
  if (!documentsGiven() || options_.words.size() > 1) return -1;
  std::string file;
  int given = DefinitionFromOptions(options_, file);
  if (given == 0) return 0;
  if (given < 0) {
    // A recorded file is used when it is there; none is asked for.
    std::string recorded;
    if (keys.ReadDataFilePath(recorded) == KeyStatus::Ok && IsRegularFile(recorded))
      file = recorded;
  }
  int lineDpi = 0;
  std::string lineMode;
  if (!file.empty() && !renderDpis_.empty() && options_.mode.empty() &&
      driver_ != Driver::Dvipng &&
      FindModeLine(file, renderDpis_[0], std::string(), lineDpi, lineMode)) {
    path = file;
    modeFrom_ = StringPrintf(TR("the mode line of %s"), file.c_str());
    return 1;
  }

  fromDriver_ = true;
  path = file;
  std::string mf;
  if (!file.empty() && ReadMfCommand(file, mf))
    runSettings.mfCommand = mf;
  else
    runSettings.mfCommand = MfCommandBesideKpsewhich();
  errorReaction = file.empty() ? 'S' : ReadErrorReaction(file);

  DriverDefaults defaults = AskDriver();
  std::string mode = defaults.mode;
  int modeDpi = defaults.modeDpi;
  modeFrom_ = defaults.modeFrom;
  if (!options_.mode.empty()) {
    mode = options_.mode;
    if (!file.empty() && FindModeLine(file, 0, mode, lineDpi, lineMode)) {
      modeDpi = lineDpi;
      modeFrom_ = StringPrintf(TR("--mode, its resolution from the mode line of %s"), file.c_str());
    } else if (mode == defaults.mode) {
      modeFrom_ = StringPrintf(TR("--mode, its resolution from %s"), defaults.modeFrom.c_str());
    } else {
      modeDpi = AskModeResolution(runSettings.mfCommand, mode);
      if (modeDpi == 0 || (modeDpi == kProofModeResolution && mode != "proof")) {
        Say(StringPrintf(TR("kiln: --mode %s: METAFONT (%s) does not know this mode\n"),
                         mode.c_str(), runSettings.mfCommand.c_str()));
        return 0;
      }
      modeFrom_ = TR("--mode, its resolution from METAFONT");
    }
  }
  runSettings.modeName = mode;
  runSettings.resolution = modeDpi;
  if (renderDpis_.empty()) {
    renderDpis_ = {defaults.renderDpi};
    renderFrom_ = defaults.renderFrom;
    if (driver_ == Driver::Dvipng && options_.oversample) {
      renderDpis_ = {kDvipngDefaultDpi * options_.oversample};
      renderFrom_ = StringPrintf(TR("dvipng's default -D 100 times oversampling %d"),
                                 static_cast<int>(options_.oversample));
    }
  }
  return kSettledWithoutDefinition;
}

void DocumentRun::DefaultReaction() {
  reactionDefaulted_ = false;
  if (!documentsGiven() || options_.reaction) return;
  const std::string& file = runSettings.definitionPath;
  if (!file.empty() && ReadErrorReactionLine(file) != 0) return;
  errorReaction = 'I';
  reactionDefaulted_ = true;
}

int DocumentRun::SettleFromDriver(bool listing) {
  SettingsModel model;
  model.modes = {std::to_string(static_cast<int>(runSettings.resolution)) + "dpi " +
                 runSettings.modeName};
  model.modeText = model.modes[0];
  model.fontSetsOptional = true;
  const std::string& file = runSettings.definitionPath;
  model.overwrite = options_.overwrite || (!file.empty() && FindForce(file));
  model.debug = debugMode;
  if (options_.priority >= 0 && !listing) model.priorityPosition = options_.priority;
  model.reaction = options_.reaction ? options_.reaction : errorReaction;
  if (!runSettings.treeRoot.empty()) {
    model.treeRoot = runSettings.treeRoot;
    model.targetDir = runSettings.treeRoot + "/" + kTreeWorkDir;
  } else {
    if (DirectoryStatus(options_.targetDir) != 1) {
      Say(StringPrintf(TR("kiln: --target-dir %s: not an existing directory\n"),
                       options_.targetDir.c_str()));
      return 0;
    }
    model.targetDir = AbsolutePath(options_.targetDir);
  }
  return ApplySettings(model, nullptr) == ApplyResult::Run ? 1 : 0;
}

void DocumentRun::SaySettings() {
  if (!documentsGiven()) return;
  if (modeFrom_.empty())
    modeFrom_ = StringPrintf(TR("the definition file %s"), runSettings.definitionPath.c_str());
  std::string text = StringPrintf(
      TR("kiln: for %s: mode %s at %d dpi (%s); fonts at %s dpi (%s); "), DriverName(driver_),
      runSettings.modeName.c_str(), static_cast<int>(runSettings.resolution), modeFrom_.c_str(),
      JoinDpis(renderDpis_).c_str(),
      renderFrom_.empty() ? TR("the command line") : renderFrom_.c_str());
  if (fromDriver_)
    text += StringPrintf("METAFONT %s (%s); ", runSettings.mfCommand.c_str(),
                         runSettings.definitionPath.empty() ? TR("beside kpsewhich")
                                                            : runSettings.definitionPath.c_str());
  text += StringPrintf(runSettings.treeRoot.empty() ? TR("into %s (%s)\n")
                                                    : TR("into the TeX tree %s (%s)\n"),
                       runSettings.treeRoot.empty() ? runSettings.targetDir.c_str()
                                                    : runSettings.treeRoot.c_str(),
                       treeFrom_.c_str());
  Say(text);
}

bool DocumentRun::DviFiles(std::vector<std::string>& files,
                           std::set<std::string>& fromFolders) {
  for (const std::string& entry : options_.dvi) {
    if (DirectoryStatus(entry) != 1) {
      files.push_back(entry);
      continue;
    }
    std::string error;
    std::size_t before = files.size();
    if (!DviFilesIn(entry, files, error)) {
      Say(UnreadableDocumentText(error));
      return false;
    }
    if (files.size() == before) {
      Say(UnreadableDocumentText(StringPrintf(TR("%s: no .dvi file in this folder"), entry.c_str())));
      return false;
    }
    fromFolders.insert(files.begin() + static_cast<std::ptrdiff_t>(before), files.end());
  }
  return true;
}

DocumentRun::~DocumentRun() {
  if (layout_) SetOutputLayout(nullptr);
}

CachedTexLookup& DocumentRun::Lookup() {
  if (!lookup_) {
    kpsewhich_ = std::make_unique<PosixKpsewhichLookup>(KpsewhichFor(runSettings.mfCommand));
    lookup_ = std::make_unique<CachedTexLookup>(*kpsewhich_);
  }
  return *lookup_;
}

bool DocumentRun::ChooseTree(bool create) {
  runSettings.treeRoot.clear();
  std::string texmf = options_.texmf;
  treeFrom_ = "--texmf " + texmf;
  // The definition file's TEXMF line, unless an option chose where the
  // fonts go (a run from the driver's settings may have no file).
  if (texmf.empty() && options_.targetDir.empty() && !runSettings.definitionPath.empty()) {
    int found = ReadTexmf(runSettings.definitionPath, texmf);
    if (found < 0) {
      Say(StringPrintf(TR("kiln: TEXMF %s in %s: a directory ending in a colon would make the "
                          "line a font-set label; write it with a final slash\n"),
                       texmf.c_str(), runSettings.definitionPath.c_str()));
      return false;
    }
    if (found == 0)
      texmf.clear();
    else
      treeFrom_ = StringPrintf(TR("TEXMF %s of %s"), texmf.c_str(),
                               runSettings.definitionPath.c_str());
  }
  if (texmf.empty() && documentsGiven() && options_.targetDir.empty()) {
    // Where every driver finds the fonts it would have made itself.
    texmf = "var";
    treeFrom_ = TR("TEXMFVAR, the default for documents");
  } else if (!TexmfVariable(texmf).empty()) {
    treeFrom_ += ", kpathsea's " + TexmfVariable(texmf);
  } else if (texmf.empty()) {
    treeFrom_ = "--target-dir";
  }
  if (texmf.empty()) return true;
  std::string root = texmf;
  const std::string variable = TexmfVariable(root);
  if (!variable.empty()) {
    root = Lookup().Variable(variable);
    if (root.empty()) {
      Say(StringPrintf(TR("kiln: %s: kpathsea gives no %s"), treeFrom_.c_str(),
                       variable.c_str()) +
          (kpsewhich_->failure().empty() ? std::string()
                                         : " (" + kpsewhich_->failure() + ")") +
          "\n");
      return false;
    }
  }
  if (create) {
    const std::string work = Absolute(root) + "/" + kTreeWorkDir;
    if (!MakeDirectories(work)) {
      Say(StringPrintf(TR("kiln: the TeX tree %s cannot be used: %s: %s\n"), root.c_str(),
                       work.c_str(), LastErrorText().c_str()));
      return false;
    }
  }
  runSettings.treeRoot = Absolute(root);
  return true;
}

bool DocumentRun::PlanJobs() {
  runSettings.documentFonts.clear();
  runSettings.outlineFonts = 0;
  static bool startFolderAdded = false;
  if (documentsGiven() && !startFolderAdded) {
    // A driver's font making runs where the document is, and kpathsea's "."
    // finds a source beside it; lookups and METAFONT run elsewhere, so that
    // folder goes first on METAFONT's search path, for both.
    const std::string withStart =
        SearchPathWithFolder(CurrentDirectory(), std::getenv("MFINPUTS"));
    if (!withStart.empty())
      setenv("MFINPUTS", withStart.c_str(), 1);
    else
      Say(StringPrintf(TR("kiln: the name of the folder %s cannot be put on kpathsea's search "
                          "path; sources in it are not looked for\n"),
                       CurrentDirectory().c_str()));
    startFolderAdded = true;
  }
  Lookup();
  kpsewhich_->SetDirectories(
      DirectoryStatus(runSettings.targetDir) == 1 ? runSettings.targetDir : std::string(),
      CurrentDirectory());
  if (!runSettings.treeRoot.empty()) {
    if (!IsPlainFontName(runSettings.modeName)) {
      Say(StringPrintf(TR("kiln: the mode name \"%s\" cannot be a folder of a TeX tree\n"),
                       runSettings.modeName.c_str()));
      return false;
    }
    // Without kpathsea every font would be filed under the fixed REL and
    // every TFM copied: better not to start.
    Lookup().Variable("TEXMFMAIN");
    if (!kpsewhich_->failure().empty()) {
      Say(NoKpathseaText(kpsewhich_->failure()));
      return false;
    }
    layout_ = std::make_unique<TreeLayout>(runSettings.treeRoot, runSettings.modeName,
                                           Lookup());
    SetOutputLayout(layout_.get());
    // Each job's check asks kpathsea for its source and its PK file: ask
    // for all of them at once, as for documents, not two calls a font.
    layout_->Prefetch(FontSetJobs());
  }
  if (!documentsGiven()) return true;
  std::vector<std::string> dviFiles;
  std::set<std::string> fromFolders;
  if (!DviFiles(dviFiles, fromFolders)) return false;
  // The DVI files at every resolution the driver renders at; the requests
  // of missfont.log carry their own resolutions, for the mode's base.
  std::vector<std::pair<int, bool>> passes;
  for (int dpi : renderDpis_) passes.push_back({dpi, true});
  if (!options_.missfont.empty())
    passes.push_back({static_cast<int>(runSettings.resolution), false});
  DocumentPlan plan;
  std::set<std::pair<std::string, int>> planned;
  const FontMapChoice map = MapChoiceFor(options_, driver_);
  for (const auto& pass : passes) {
    DocumentPlan part;
    std::string error;
    if (!PlanDocumentFonts(pass.second ? dviFiles : std::vector<std::string>(),
                           pass.second ? std::vector<std::string>() : options_.missfont,
                           pass.first, map, Lookup(), part, error, 0, fromFolders)) {
      Say(UnreadableDocumentText(error));
      return false;
    }
    for (const DocumentFont& font : part.fonts)
      if (planned.insert({font.name, font.resolution}).second) plan.fonts.push_back(font);
    for (const std::string& name : part.withoutSource) AddOnce(plan.withoutSource, name);
    for (const std::string& report : part.reports) AddOnce(plan.reports, report);
    for (const std::string& name : part.outline) AddOnce(plan.outline, name);
    for (const std::string& damaged : part.passedOver) AddOnce(plan.passedOver, damaged);
    plan.mapPath = part.mapPath;
  }
  if (!kpsewhich_->failure().empty()) {
    Say(NoKpathseaText(kpsewhich_->failure()));
    return false;
  }
  for (const std::string& report : plan.reports) Say("kiln: " + report + "\n");
  for (const std::string& damaged : plan.passedOver)
    Say(StringPrintf(TR("kiln: %s; passed over, the other documents' fonts are built\n"),
                     damaged.c_str()));
  passedOver_ = !plan.passedOver.empty();
  if (!plan.withoutSource.empty()) Say(WithoutSourceText(plan.withoutSource));
  runSettings.documentFonts = plan.fonts;
  runSettings.outlineFonts = static_cast<int>(plan.outline.size());
  mapPath_ = plan.mapPath;
  if (layout_) layout_->Prefetch(plan.fonts);
  return true;
}
