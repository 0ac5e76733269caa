#include "ui/term/catalogue.h"

#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>
#if defined(__APPLE__)
#include <mach-o/dyld.h>
#endif

#include "ui/text.h"

namespace {

constexpr std::uint32_t kMoMagic = 0x950412de;
constexpr char kDomain[] = "kiln";
#ifndef KILN_LOCALE_FROM_BIN
#define KILN_LOCALE_FROM_BIN "../share/locale"
#endif

Catalogue activeCatalogue;

const char* LookUp(const char* msgid) { return activeCatalogue.Find(msgid); }

std::string RealPath(const std::string& path) {
  char resolved[PATH_MAX];
  return realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

std::string FromArgv0(const char* argv0) {
  if (!argv0 || !*argv0) return std::string();
  if (std::strchr(argv0, '/')) return RealPath(argv0);
  const char* path = std::getenv("PATH");
  std::string entries = path ? path : "";
  std::size_t start = 0;
  for (;;) {
    std::size_t end = entries.find(':', start);
    std::string dir = entries.substr(start, end == std::string::npos ? end : end - start);
    std::string candidate = (dir.empty() ? std::string(".") : dir) + "/" + argv0;
    if (access(candidate.c_str(), X_OK) == 0) return RealPath(candidate);
    if (end == std::string::npos) return std::string();
    start = end + 1;
  }
}

std::string ExecutablePath(const char* argv0) {
#if defined(__linux__) && !defined(KILN_GENERIC_POSIX)
  char link[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", link, sizeof link - 1);
  if (length > 0) return std::string(link, static_cast<std::size_t>(length));
#elif defined(__APPLE__)
  char image[PATH_MAX];
  std::uint32_t size = sizeof image;
  if (_NSGetExecutablePath(image, &size) == 0) {
    std::string resolved = RealPath(image);
    if (!resolved.empty()) return resolved;
  }
#endif
  return FromArgv0(argv0);
}

}  // namespace

std::string MessageLanguage(const char* lcAll, const char* lcMessages, const char* lang) {
  for (const char* value : {lcAll, lcMessages, lang}) {
    if (!value || !*value) continue;
    if (std::strncmp(value, "ja", 2) == 0) return "ja";
    std::string name(value);
    name = name.substr(0, name.find_first_of("_.@"));
    bool letters = name.size() >= 2 && name.size() <= 3;
    for (char c : name) letters = letters && c >= 'a' && c <= 'z';
    return letters ? name : "en";  // C, POSIX and anything unreadable
  }
  return "en";
}

bool Catalogue::Parse(const std::string& bytes) {
  texts_.clear();
  if (bytes.size() < 20) return false;
  auto word = [&](std::size_t at, bool swap) -> std::uint32_t {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(bytes.data()) + at;
    return swap ? (std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 |
                   std::uint32_t{p[2]} << 8 | p[3])
                : (std::uint32_t{p[3]} << 24 | std::uint32_t{p[2]} << 16 |
                   std::uint32_t{p[1]} << 8 | p[0]);
  };
  bool swap;
  if (word(0, false) == kMoMagic) {
    swap = false;
  } else if (word(0, true) == kMoMagic) {
    swap = true;
  } else {
    return false;
  }
  if ((word(4, swap) >> 16) > 1) return false;  // a major revision we do not know
  const std::uint64_t count = word(8, swap);
  const std::uint64_t originals = word(12, swap);
  const std::uint64_t translations = word(16, swap);
  const std::uint64_t size = bytes.size();
  if (originals + count * 8 > size || translations + count * 8 > size) return false;
  // A string is its length and offset; the byte after it must be its NUL.
  auto text = [&](std::uint64_t entry, std::string& out) {
    std::uint64_t length = word(static_cast<std::size_t>(entry), swap);
    std::uint64_t offset = word(static_cast<std::size_t>(entry + 4), swap);
    if (offset + length >= size || bytes[static_cast<std::size_t>(offset + length)] != '\0')
      return false;
    out.assign(bytes, static_cast<std::size_t>(offset), static_cast<std::size_t>(length));
    return true;
  };
  std::string msgid, msgstr;
  for (std::uint64_t i = 0; i < count; ++i) {
    if (!text(originals + i * 8, msgid) || !text(translations + i * 8, msgstr)) {
      texts_.clear();
      return false;
    }
    if (!msgid.empty() && !msgstr.empty()) texts_[msgid] = msgstr;  // "" is the header
  }
  return true;
}

bool Catalogue::Load(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return false;
  std::string bytes;
  char buffer[8192];
  std::size_t got;
  // Catalogues are small; anything huge is not one of ours.
  while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0 && bytes.size() < (16u << 20))
    bytes.append(buffer, got);
  bool readError = std::ferror(file) != 0;
  std::fclose(file);
  return !readError && Parse(bytes);
}

const char* Catalogue::Find(const char* msgid) const {
  auto found = texts_.find(msgid);
  return found == texts_.end() ? nullptr : found->second.c_str();
}

std::string ExecutableDirectory(const char* argv0) {
  std::string path = ExecutablePath(argv0);
  std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return std::string();
  return slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool UseMessageCatalogue(const char* argv0) {
  std::string language = MessageLanguage(std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"),
                                         std::getenv("LANG"));
  std::string dir = language == "en" ? std::string() : ExecutableDirectory(argv0);
  if (!dir.empty()) {
    for (const char* localeDir : {KILN_LOCALE_FROM_BIN, "share/locale"}) {
      std::string file = dir + "/" + localeDir + "/" + language + "/LC_MESSAGES/" + kDomain + ".mo";
      if (activeCatalogue.Load(file)) {
        SetTextLookup(LookUp);
        return true;
      }
    }
  }
  // English, and every language without a catalogue file of its own.
  if (!activeCatalogue.Parse(std::string(reinterpret_cast<const char*>(kEnglishCatalogue),
                                         kEnglishCatalogueSize)))
    return false;
  SetTextLookup(LookUp);
  return true;
}
