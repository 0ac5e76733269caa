// gftopk stand-in for the Wine tests: "gftopk A.400gf A.400pk" turns the GF
// file into a PK file (a marker holding the GF file's content).
// Controls (environment):
//   KILN_STANDIN_GFTOPK_FAIL=a,b   write no PK file for these fonts, exit 1
//   KILN_STANDIN_RECORD=file       append a "gftopk IN OUT|dir" line
#include "standin_common.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "Usage: gftopk GFFILE PKFILE\n");
    standin::Record("gftopk usage");
    return 2;
  }
  std::string in = argv[1], out = argv[2];
  standin::Record("gftopk " + in + " " + out);
  std::string font = in.substr(0, in.find('.'));
  if (standin::ListEntry(standin::Env("KILN_STANDIN_GFTOPK_FAIL"), font, nullptr)) {
    std::fprintf(stderr, "gftopk stand-in: forced failure for %s\n", font.c_str());
    return 1;
  }
  FILE* f = std::fopen(in.c_str(), "rb");
  if (!f) {
    std::perror(in.c_str());
    return 1;
  }
  std::string content = "PK stand-in from " + in + "\n";
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) content.append(buffer, n);
  std::fclose(f);
  if (!standin::WriteText(out, content)) {
    std::perror(out.c_str());
    return 1;
  }
  std::printf("%s -> %s\n", in.c_str(), out.c_str());
  return 0;
}
