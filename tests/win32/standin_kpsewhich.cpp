// kpsewhich stand-in for the Wine tests, found beside the METAFONT stand-in:
// every file is looked for in one folder, the test's TeX tree.
//   kpsewhich -format=mf|tfm|vf NAME...        prints DIR\NAME.mf (.tfm, .vf) for each that exists
//   kpsewhich -format=pk -mode=M -dpi=D NAME... prints DIR\NAME.Dpk for each that exists
//   kpsewhich -var-value=VAR                    prints KILN_STANDIN_VAR_<VAR> when set
// Controls (environment):
//   KILN_STANDIN_TEXDIR=dir     the folder
//   KILN_STANDIN_RECORD=file    append a "kpsewhich ARGS|dir" line per call
#include "standin_common.h"

int main(int argc, char** argv) {
  std::string args;
  for (int i = 1; i < argc; ++i) args += std::string(i > 1 ? " " : "") + argv[i];
  standin::Record("kpsewhich " + args);
  std::string dir = standin::Env("KILN_STANDIN_TEXDIR");
  std::string format, dpi;
  int found = 0;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg.compare(0, 8, "-format=") == 0) {
      format = arg.substr(8);
    } else if (arg.compare(0, 5, "-dpi=") == 0) {
      dpi = arg.substr(5);
    } else if (arg.compare(0, 6, "-mode=") == 0) {
    } else if (arg.compare(0, 11, "-var-value=") == 0) {
      std::string value = standin::Env(("KILN_STANDIN_VAR_" + arg.substr(11)).c_str());
      if (!value.empty()) {
        std::printf("%s\n", value.c_str());
        ++found;
      }
    } else if (!dir.empty()) {
      std::string path = dir + "\\" + arg + "." + (format == "pk" ? dpi + "pk" : format);
      DWORD attributes = GetFileAttributesA(path.c_str());
      if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        // kpathsea writes forward slashes.
        for (char& ch : path)
          if (ch == '\\') ch = '/';
        std::printf("%s\n", path.c_str());
        ++found;
      }
    }
  }
  return found > 0 ? 0 : 1;
}
