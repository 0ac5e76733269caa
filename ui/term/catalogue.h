// The terminal program's message catalogues: compiled gettext catalogues
// (.mo files, made from po/*.po at build time) read by kiln itself, so that
// no runtime library is needed and the choice of language follows kiln's own
// rule, C and POSIX included.
//
// The source texts are in two languages: "en" translates the Japanese texts
// into English, "ja" the texts written in English into Japanese, and any
// other language's catalogue translates both. The locale chooses one; a
// text it does not hold is shown as written.
#pragma once

#include <cstddef>
#include <string>
#include <unordered_map>

// The language code of the first of LC_ALL, LC_MESSAGES and LANG that is
// set and not empty ("ja" for ja_JP.UTF-8); "en" for C, POSIX and none.
std::string MessageLanguage(const char* lcAll, const char* lcMessages, const char* lang);

class Catalogue {
 public:
  // Reads a .mo file's bytes (either byte order). False, and the catalogue
  // left empty, for anything that is not a well-formed catalogue.
  bool Parse(const std::string& bytes);
  bool Load(const std::string& path);
  // The translation of msgid, or null. Entries with an empty translation
  // count as missing.
  const char* Find(const char* msgid) const;
  std::size_t size() const { return texts_.size(); }

 private:
  std::unordered_map<std::string, std::string> texts_;
};

// The directory that holds the running executable (symbolic links
// resolved), or "" when it cannot be found.
std::string ExecutableDirectory(const char* argv0);

// The English catalogue, built into the program (made from po/en.po).
extern const unsigned char kEnglishCatalogue[];
extern const std::size_t kEnglishCatalogueSize;

// Loads the catalogue of the environment's language and installs it as the
// lookup of TR(); English is built in and serves every language that has no
// catalogue file. Returns false (texts shown as written) only when even the
// built-in catalogue cannot be read. <language>/LC_MESSAGES/kiln.mo is
// looked for from the executable's directory: the installed layout's path
// (bin/ beside share/locale) first, then the build tree's (share/locale
// beside kiln).
bool UseMessageCatalogue(const char* argv0);
