#include "ui/term/paths.h"

#include <sched.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>

#include "run/filesys.h"
#include "ui/log.h"
#include "ui/text.h"
#include "ui/term/term_output.h"

int AvailableCpus() {
#if defined(__linux__)
  // The affinity mask, not the machine's count: under taskset or a
  // container's CPU set only those CPUs are there to be used.
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
    return CPU_COUNT(&set);
#endif
  long online = sysconf(_SC_NPROCESSORS_ONLN);
  return online > 0 ? static_cast<int>(online) : 1;
}

std::string AbsolutePath(const std::string& path) {
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved)) return resolved;
  return path;
}

int DefinitionFromOptions(const TermOptions& options, std::string& path) {
  if (options.definition.empty()) return -1;
  if (!PathExists(options.definition)) {
    Output().Print(stderr, StringPrintf(TR("kiln: the definition file %s does not exist\n"),
                                        options.definition.c_str()));
    return 0;
  }
  path = AbsolutePath(options.definition);
  return 1;
}
