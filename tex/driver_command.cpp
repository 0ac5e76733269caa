#include "tex/driver_command.h"

#include "tex/docjobs.h"
#include "tex/maker_request.h"
#include "tex/texlookup.h"
#include "ui/text.h"

namespace {

// What an option means for the fonts the driver asks for.
enum class Kind {
  Flag,        // no value; may end in "0" or "1" (turned off or on)
  Value,       // one value, joined or the next word; the fonts do not change
  Narrows,     // fewer pages or fonts, or the document from elsewhere (with a value)
  NarrowsFlag, // the same, without a value
  Resolution,  // the resolution rendered at
  Oversample,  // dvipng's -Q
  Mode,        // the METAFONT mode
  Magnify,     // the document's magnification replaced
  Map,         // the font map
  NoOutlines,  // no fonts from outline files: a bitmap for every font (with
               // "0" after it for dvipng's --freetype0, as the flag itself)
};

struct Option {
  const char* name;  // without the leading "-"
  Kind kind;
};

// From the drivers' own usage texts (dvips 2022.1, dvipng 1.15, xdvik 22).
const Option kDvipsOptions[] = {
    {"a", Kind::Flag},          {"A", Kind::NarrowsFlag},   {"b", Kind::Value},
    {"bitmapfontenc", Kind::Value}, {"B", Kind::NarrowsFlag}, {"c", Kind::Value},
    {"C", Kind::Value},         {"d", Kind::Value},         {"D", Kind::Resolution},
    {"e", Kind::Value},         {"E", Kind::NarrowsFlag},   {"f", Kind::NarrowsFlag},
    {"F", Kind::Flag},          {"G", Kind::Flag},          {"h", Kind::Value},
    {"i", Kind::Flag},          {"j", Kind::Flag},          {"k", Kind::Flag},
    {"K", Kind::Flag},          {"l", Kind::Narrows},       {"L", Kind::Flag},
    {"landscaperotate", Kind::Flag}, {"m", Kind::Flag},     {"M", Kind::Flag},
    {"mode", Kind::Mode},       {"n", Kind::Narrows},       {"N", Kind::Flag},
    {"noomega", Kind::Flag},    {"noptex", Kind::Flag},     {"o", Kind::Value},
    {"O", Kind::Value},         {"p", Kind::Narrows},       {"pp", Kind::Narrows},
    {"P", Kind::Narrows},       {"q", Kind::Flag},          {"r", Kind::Flag},
    {"R", Kind::Flag},          {"s", Kind::Flag},          {"S", Kind::Value},
    {"t", Kind::Value},         {"T", Kind::Value},         {"title", Kind::Value},
    {"u", Kind::Map},           {"U", Kind::Flag},          {"V", Kind::NarrowsFlag},
    {"x", Kind::Magnify},       {"X", Kind::Narrows},       {"y", Kind::Narrows},
    {"Y", Kind::Narrows},       {"z", Kind::Flag},          {"Z", Kind::Flag},
};

const Option kDvipngOptions[] = {
    {"bd", Kind::Value},        {"bg", Kind::Value},        {"d", Kind::Narrows},
    {"D", Kind::Resolution},    {"depth", Kind::Flag},      {"dvinum", Kind::Flag},
    {"fg", Kind::Value},        {"follow", Kind::NarrowsFlag}, {"freetype", Kind::NoOutlines},
    {"gamma", Kind::Value},     {"gif", Kind::Flag},        {"height", Kind::Flag},
    {"l", Kind::Narrows},       {"M", Kind::Flag},          {"mode", Kind::Mode},
    {"nogs", Kind::Flag},       {"nogssafer", Kind::Flag},  {"norawps", Kind::Flag},
    {"o", Kind::Value},         {"O", Kind::Value},         {"p", Kind::Narrows},
    {"palette", Kind::Flag},    {"picky", Kind::Flag},      {"png", Kind::Flag},
    {"pp", Kind::Narrows},      {"q", Kind::Flag},          {"Q", Kind::Oversample},
    {"strict", Kind::Flag},     {"T", Kind::Value},         {"truecolor", Kind::Flag},
    {"v", Kind::Flag},          {"width", Kind::Flag},      {"x", Kind::Magnify},
    {"z", Kind::Value},
};

// xdvi loads every font of the document when it opens it; its toolkit
// options (display, geometry, colours) do not touch them.
const Option kXdviOptions[] = {
    {"bg", Kind::Value},        {"cr", Kind::Value},        {"display", Kind::Value},
    {"expert", Kind::Flag},     {"fg", Kind::Value},        {"gamma", Kind::Value},
    {"geometry", Kind::Value},  {"hl", Kind::Value},        {"hush", Kind::Flag},
    {"iconic", Kind::Flag},     {"keep", Kind::Flag},       {"margin", Kind::Value},
    {"mfmode", Kind::Mode},     {"name", Kind::Value},      {"noghostscript", Kind::Flag},
    {"nogrey", Kind::Flag},     {"nomakepk", Kind::Flag},   {"noomega", Kind::Flag},
    {"notype1fonts", Kind::NoOutlines}, {"offsets", Kind::Value}, {"p", Kind::Resolution},
    {"paper", Kind::Value},     {"rv", Kind::Flag},         {"s", Kind::Value},
    {"S", Kind::Value},         {"sidemargin", Kind::Value}, {"title", Kind::Value},
    {"topmargin", Kind::Value}, {"xrm", Kind::Value},
};

template <std::size_t N>
const Option* LongestMatch(const Option (&table)[N], const std::string& body) {
  const Option* best = nullptr;
  for (const Option& option : table) {
    std::string name = option.name;
    if (body.compare(0, name.size(), name) != 0) continue;
    if (!best || name.size() > std::string(best->name).size()) best = &option;
  }
  return best;
}

bool IsTakesValue(Kind kind) {
  return kind != Kind::Flag && kind != Kind::NarrowsFlag && kind != Kind::NoOutlines;
}

// A positive number of at most 6 digits, else 0.
int Number(const std::string& text) {
  int value = 0;
  return ReadCount(text, value) ? value : 0;
}

std::string BaseName(const std::string& path) {
  std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

bool DriverOfProgram(const std::string& program, Driver& driver) {
  const std::string name = BaseName(program);
  if (name == "dvips") {
    driver = Driver::Dvips;
  } else if (name == "dvipng" || name == "dvigif") {
    driver = Driver::Dvipng;
  } else if (name == "xdvi" || name == "xdvi-xaw" || name == "xdvi.bin" || name == "xdvik" ||
             name == "xdvi-motif") {
    driver = Driver::Xdvi;
  } else {
    return false;
  }
  return true;
}

bool ReadDriverCommand(const std::vector<std::string>& argv, DriverCommand& command,
                       std::string& why) {
  command = DriverCommand();
  if (argv.empty() || !DriverOfProgram(argv[0], command.driver)) {
    why = NOTR("not a DVI driver");
    return false;
  }
  std::vector<std::string> documents;
  for (std::size_t i = 1; i < argv.size(); ++i) {
    const std::string& word = argv[i];
    if (word.empty()) {
      why = NOTR("an empty argument");
      return false;
    }
    if (word.size() < 2 || word[0] != '-') {
      // xdvi's +PAGE only says where it opens; the fonts are the same.
      if (command.driver == Driver::Xdvi && word.size() > 1 && word[0] == '+') continue;
      if (word == "-") {
        why = NOTR("the document comes from standard input");
        return false;
      }
      documents.push_back(word);
      continue;
    }
    std::string body = word.substr(word[1] == '-' && command.driver != Driver::Dvips ? 2 : 1);
    const Option* option = command.driver == Driver::Dvips    ? LongestMatch(kDvipsOptions, body)
                           : command.driver == Driver::Dvipng ? LongestMatch(kDvipngOptions, body)
                                                              : LongestMatch(kXdviOptions, body);
    if (!option) {
      why = NOTR("unknown option ") + VisibleText(word);
      return false;
    }
    const std::string name = option->name;
    std::string value;
    if (IsTakesValue(option->kind)) {
      if (body.size() > name.size()) {
        value = body.substr(name.size());
      } else if (i + 1 < argv.size()) {
        value = argv[++i];
      } else {
        why = NOTR("no value after ") + VisibleText(word);
        return false;
      }
    } else if (body.size() > name.size()) {
      const std::string rest = body.substr(name.size());
      if (rest != "0" && rest != "1") {
        why = NOTR("unknown option ") + VisibleText(word);
        return false;
      }
    }
    switch (option->kind) {
      case Kind::NoOutlines:
        // dvipng's --freetype is on by default; only --freetype0 turns
        // its outline fonts off.
        if (command.driver != Driver::Dvipng || body == name + "0") command.map = kNoMap;
        break;
      case Kind::Flag:
      case Kind::Value:
        break;
      case Kind::Narrows:
      case Kind::NarrowsFlag:
        why = NOTR("option ") + VisibleText(word) + NOTR(" narrows the pages or fonts");
        return false;
      case Kind::Resolution:
        command.resolution = Number(value);
        if (command.resolution <= 0 || command.resolution > kMaxDriverResolution) {
          why = NOTR("not a resolution: ") + VisibleText(value);
          return false;
        }
        break;
      case Kind::Oversample:
        command.oversample = Number(value);
        if (command.oversample <= 0 || command.oversample > kMaxOversampling) {
          why = NOTR("not an oversampling: ") + VisibleText(value);
          return false;
        }
        break;
      case Kind::Mode:
        // xdvi's -mfmode MODE:DPI sets the resolution too.
        if (command.driver == Driver::Xdvi && value.find(':') != std::string::npos) {
          command.resolution = Number(value.substr(value.find(':') + 1));
          value = value.substr(0, value.find(':'));
        }
        command.mode = value;
        if (!IsPlainFontName(command.mode)) {
          why = NOTR("not a mode: ") + VisibleText(value);
          return false;
        }
        break;
      case Kind::Magnify:
        command.magnification = Number(value);
        if (command.magnification <= 0) {
          why = NOTR("not a magnification: ") + VisibleText(value);
          return false;
        }
        break;
      case Kind::Map:
        // "+FILE" adds a map to the default one.
        if (value.empty() || value[0] == '+') {
          why = NOTR("a map added to the default one");
          return false;
        }
        command.map = value;
        break;
    }
  }
  if (documents.size() != 1) {
    why = documents.empty() ? NOTR("no DVI file named") : NOTR("more than one file named");
    return false;
  }
  command.dvi = documents[0];
  return true;
}
