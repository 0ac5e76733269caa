// Font names a run takes from files it does not control: a DVI, a VF, a
// missfont.log, the definition file. Whatever the name holds, it never
// becomes a job: no file outside the target, no argument a child could take
// for an option. The lookup here answers every name, so the guard cannot
// rest on kpathsea not finding a strange name.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "deffile/reader.h"
#include "deffile/runsettings.h"
#include "run/argsplit.h"
#include "run/batch.h"
#include "run/cmdline.h"
#include "run/filesys.h"
#include "run/handshake.h"
#include "run/jobgen.h"
#include "tex/docjobs.h"
#include "tex/layout.h"
#include "support/fake_runner.h"
#include "support/fakes.h"

namespace {

using Bytes = std::string;

// Wider than the value: the high bytes are 0.
void Put(Bytes& out, std::uint32_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i)
    out.push_back(i < 4 ? static_cast<char>(value >> (8 * i)) : 0);
}

// A name byte counts its length: a longer name is cut to the 255 bytes a
// document can carry.
// Sizes: a DVI's in scaled points (10 pt at 10 pt), a VF's as fix_words
// (1.0 of the VF's size, design size 10 pt).
void PutDef(Bytes& out, int number, std::string name, bool inVf = false) {
  if (name.size() > 255) name.resize(255);
  out.push_back(static_cast<char>(243));  // fnt_def1
  out.push_back(static_cast<char>(number));
  Put(out, 0, 4);
  Put(out, inVf ? 1u << 20 : 655360, 4);
  Put(out, inVf ? 10u << 20 : 655360, 4);
  out.push_back(0);
  out.push_back(static_cast<char>(name.size()));
  out += name;
}

// One page that sets a character of every font, the definitions again in
// the postamble, as TeX writes it.
Bytes Dvi(const std::vector<std::string>& names) {
  Bytes out = {static_cast<char>(247), 2};
  Put(out, 25400000, 4);
  Put(out, 473628672, 4);
  Put(out, 1000, 4);
  out.push_back(0);
  const std::size_t bop = out.size();
  out.push_back(static_cast<char>(139));
  for (int i = 0; i < 11; ++i) Put(out, i == 10 ? 0xFFFFFFFF : 0, 4);
  for (std::size_t i = 0; i < names.size(); ++i) {
    PutDef(out, static_cast<int>(i), names[i]);
    out.push_back(static_cast<char>(235));  // fnt1
    out.push_back(static_cast<char>(i));
    out.push_back('A');                     // set_char_65
  }
  out.push_back(static_cast<char>(140));
  const std::size_t post = out.size();
  out.push_back(static_cast<char>(248));
  Put(out, static_cast<std::uint32_t>(bop), 4);
  Put(out, 25400000, 4);
  Put(out, 473628672, 4);
  Put(out, 1000, 4);
  Put(out, 0, 12);
  for (std::size_t i = 0; i < names.size(); ++i) PutDef(out, static_cast<int>(i), names[i]);
  out.push_back(static_cast<char>(249));
  Put(out, static_cast<std::uint32_t>(post), 4);
  out.push_back(2);
  const std::size_t tail = out.size();
  do out.push_back(static_cast<char>(223));
  while (out.size() % 4 != 0 || out.size() - tail < 4);
  return out;
}

// A VF whose character A sets a character of each of its fonts.
Bytes Vf(const std::vector<std::string>& names) {
  Bytes out = {static_cast<char>(247), static_cast<char>(202), 0};
  Put(out, 0, 4);
  Put(out, 10u << 20, 4);
  for (std::size_t i = 0; i < names.size(); ++i)
    PutDef(out, static_cast<int>(i), names[i], true);
  Bytes packet;
  for (std::size_t i = 0; i < names.size(); ++i) {
    packet.push_back(static_cast<char>(171 + i));  // fnt_num_i
    packet.push_back('A');
  }
  out.push_back(static_cast<char>(packet.size()));
  out.push_back('A');
  Put(out, 0x80000, 3);
  out += packet;
  do out.push_back(static_cast<char>(248));
  while (out.size() % 4 != 0);
  return out;
}

// kpathsea that finds a source for any name at all, and the VF "hostvf".
class AnsweringLookup : public TexLookup {
 public:
  explicit AnsweringLookup(std::string vfPath) : vfPath_(std::move(vfPath)) {}
  std::vector<std::string> FindFiles(TexFileKind kind,
                                     const std::vector<std::string>& names) override {
    std::vector<std::string> paths;
    for (const std::string& name : names) {
      if (kind == TexFileKind::VirtualFont)
        paths.push_back(name == "hostvf" ? vfPath_ : std::string());
      else
        paths.push_back("/t/fonts/source/public/x/" + name + TexFileSuffix(kind));
    }
    return paths;
  }
  std::vector<std::string> FindPkFiles(const std::vector<std::string>& names,
                                       const std::string&, int) override {
    return std::vector<std::string>(names.size());
  }
  std::string Variable(const std::string&) override { return std::string(); }

 private:
  std::string vfPath_;
};

// Every file below root, relative to it.
void ListFiles(const std::string& root, const std::string& rel, std::set<std::string>& out) {
  DIR* dir = opendir((root + "/" + rel).c_str());
  if (!dir) return;
  while (dirent* entry = readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = rel.empty() ? name : rel + "/" + name;
    struct stat status;
    if (stat((root + "/" + path).c_str(), &status) == 0 && S_ISDIR(status.st_mode))
      ListFiles(root, path, out);
    else
      out.insert(path);
  }
  closedir(dir);
}

enum class Source { Dvi, Vf, Missfont, Definition };

struct HostileCase {
  const char* what;
  std::string name;
  // The definition file is the user's own: a name that can do no harm is
  // built there (inside the target) though no document could carry it.
  bool definitionBuilds = false;
};

const HostileCase kHostileNames[] = {
    {"slash", "fonts/cmr10"},
    {"absolute", "/tmp/kilnhostile"},
    {"parent", "../kilnhostile"},
    {"parent only", ".."},
    {"leading dash", "-output-directory=out"},
    {"dash", "-ini"},
    {"escape", "cmr\x1b]0;owned\x07"},
    {"control", "cmr\x01x"},
    {"long", std::string(300, 'a')},
    {"high bytes", "cmr\xe3\x83\x95", true},
    {"latin-1", "caf\xe9", true},
    {"quoted dash", "\"-ini\""},
    {"asterisk", "cm10*", true},
    {"backslash", "a\\b"},
    {"hidden", ".kiln"},
};

class HostileNames : public ::testing::TestWithParam<std::tuple<Source, HostileCase>> {
 protected:
  void SetUp() override {
    ResetRunSettings();
    ResetJobGenerator();
    errorReaction = 'I';
    execShowMode = 1;
    terminateRequest = 0;
    MakeDirectory(scratch.path() + "/target");
  }
  void TearDown() override {
    ResetJobGenerator();
    ChangeDirectory(scratch.path());
  }

  ScratchDirectory scratch;
  RecordingLog log;
  ScriptedDialogue dialogue;
  RecordingProgress view;
  FakeRunner runner;
};

TEST_P(HostileNames, NeverBecomeAJob) {
  const Source source = std::get<0>(GetParam());
  const std::string hostile = std::get<1>(GetParam()).name;
  const std::string root = scratch.path();

  // Each source names a good font beside the hostile one: the good one is
  // built, so the run itself works.
  std::string definition = "600 ljfour\nMF mf \\mode=\nBEGIN_SOURCE\nset:\ncmr 10\n";
  std::vector<std::string> dvis, logs;
  if (source == Source::Definition) {
    // The name is the prefix; "10" the entry. A name the line cannot carry
    // (a blank, '#') does not occur in the table.
    definition += hostile + " 10\n";
  } else if (source == Source::Dvi) {
    scratch.Write("doc.dvi", Dvi({"cmr12", hostile}));
    dvis.push_back(root + "/doc.dvi");
  } else if (source == Source::Vf) {
    scratch.Write("hostvf.vf", Vf({"cmr12", hostile}));
    scratch.Write("doc.dvi", Dvi({"hostvf"}));
    dvis.push_back(root + "/doc.dvi");
  } else {
    scratch.Write("missfont.log",
                  "mktexpk --mfmode ljfour --bdpi 600 --mag 1+0/600 --dpi 600 cmr12\n"
                  "mktexpk --mfmode ljfour --bdpi 600 --mag 1+0/600 --dpi 600 " + hostile + "\n");
    logs.push_back(root + "/missfont.log");
  }
  scratch.Write("FONTS.DAT", definition);

  AnsweringLookup lookup(root + "/hostvf.vf");
  DocumentPlan plan;
  std::string error;
  FontMapChoice bitmapsOnly;
  bitmapsOnly.file = kNoMap;
  ASSERT_TRUE(PlanDocumentFonts(dvis, logs, 600, bitmapsOnly, lookup, plan, error)) << error;
  for (const DocumentFont& font : plan.fonts) EXPECT_NE(hostile, font.name);

  runSettings.definitionPath = root + "/FONTS.DAT";
  runSettings.mfCommand = "mf \\mode=";
  runSettings.modeName = "ljfour";
  runSettings.resolution = 600;
  runSettings.documentFonts = plan.fonts;
  runSettings.fontSets = std::make_unique<FontSetNode>();
  runSettings.fontSets->name = "set";
  std::set<std::string> before;
  ListFiles(root, "", before);
  ASSERT_TRUE(ChangeDirectory(root + "/target"));
  RunBatch(view, runner);
  ASSERT_TRUE(ChangeDirectory(root));

  std::vector<std::string> expected = {"mf \\mode=ljfour; nonstopmode; mag=1; input cmr10",
                                       "gftopk cmr10.600gf cmr10.600pk"};
  const bool built = source == Source::Definition && std::get<1>(GetParam()).definitionBuilds;
  if (built) {
    expected.push_back("mf \\mode=ljfour; nonstopmode; mag=1; input " + hostile + "10");
#ifdef _WIN32
    // Windows file names cannot hold '*': the stand-in METAFONT cannot leave
    // such a GF file there, so the font fails before gftopk.
    const bool gfPossible = hostile.find('*') == std::string::npos;
#else
    const bool gfPossible = true;
#endif
    if (gfPossible)
      expected.push_back("gftopk " + hostile + "10.600gf " + hostile + "10.600pk");
  }
  if (source != Source::Definition) {
    expected.push_back("mf \\mode=ljfour; nonstopmode; mag=1; input cmr12");
    expected.push_back("gftopk cmr12.600gf cmr12.600pk");
  }
  EXPECT_EQ(expected, runner.commands);
  // No child ever sees an option it was not meant to get.
  for (const std::string& command : runner.commands) {
    std::vector<std::string> words = SplitCommandLine(command);
    for (std::size_t i = 1; i < words.size(); ++i)
      EXPECT_NE('-', words[i][0]) << command;
  }
  // Nothing appeared outside the target directory.
  std::set<std::string> after;
  ListFiles(root, "", after);
  for (const std::string& path : after)
    if (path.compare(0, 7, "target/") != 0) {
      EXPECT_TRUE(before.count(path)) << path;
    }
  // The user hears of it, without the name's control bytes.
  bool told = false;
  for (const std::string& report : plan.reports) {
    EXPECT_EQ(std::string::npos, report.find_first_of("\x1b\x01\x07")) << report;
    told = told || report.find("not a usable font name") != std::string::npos;
  }
  for (const LoggedLine& line : log.lines) {
    EXPECT_EQ(std::string::npos, line.text.find_first_of("\x1b\x01\x07")) << line.text;
    told = told || line.text.find("not a usable font name") != std::string::npos;
  }
  for (const ShownBox& box : dialogue.boxes)
    EXPECT_EQ(std::string::npos, box.text.find_first_of("\x1b\x01\x07")) << box.text;
  EXPECT_EQ(!built, told);
}

std::string CaseName(const ::testing::TestParamInfo<HostileNames::ParamType>& info) {
  static const char* const kSources[] = {"Dvi", "Vf", "Missfont", "Definition"};
  std::string name = kSources[static_cast<int>(std::get<0>(info.param))];
  for (char c : std::string(std::get<1>(info.param).what))
    name += (c == ' ' || c == '-') ? '_' : c;
  return name;
}

INSTANTIATE_TEST_SUITE_P(AllSources, HostileNames,
                         ::testing::Combine(::testing::Values(Source::Dvi, Source::Vf,
                                                              Source::Missfont,
                                                              Source::Definition),
                                            ::testing::ValuesIn(kHostileNames)),
                         CaseName);

}  // namespace
