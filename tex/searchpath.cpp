#include "tex/searchpath.h"

std::string SearchPathWithFolder(const std::string& folder, const char* existing) {
  if (folder.empty() || folder[0] != '/') return std::string();
  for (char c : folder)
    if (c == ':' || c == ';' || c == '$' || c == '~' || c == '{' || c == '}' || c == '!' ||
        c == ',' || c == '\n')
      return std::string();
  // "//" at the end would search every folder below it.
  std::string path = folder;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  // An empty element: kpathsea's default path there.
  return path + ":" + (existing ? existing : "");
}
