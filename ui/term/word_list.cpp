#include "ui/term/word_list.h"

#include <sys/stat.h>

#include <string>

#include "deffile/reader.h"

void ListCompletionWords(const TermOptions& options, KeyStore& keys, std::FILE* out) {
  std::string path = options.definition;
  if (path.empty() && keys.ReadDataFilePath(path) != KeyStatus::Ok) return;
  // The reader treats a file it cannot open as fatal, with a message: a
  // completion must stay silent, so the file is tried first.
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) return;
  std::FILE* probe = std::fopen(path.c_str(), "rb");
  if (!probe) return;
  std::fclose(probe);
  int resolution = 0;
  std::string name;
  while (NextMode(path, resolution, name))
    std::fprintf(out, "resolution %d\nmode %s\n", resolution, name.c_str());
  while (NextFontSetLabel(path, name)) {
    name.pop_back();  // the colon
    std::fprintf(out, "fontset %s\n", name.c_str());
  }
  std::fflush(out);
}
