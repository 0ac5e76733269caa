#!/usr/bin/env bash
# The main job: builds kiln and runs it over the bundled example definition
# file, which builds real PK fonts with METAFONT and gftopk into out/pk.
# Extra arguments go to kiln (default: 600, every font set of the file).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh build metafont
cmake --preset linux >/dev/null
cmake --build --preset linux -j"$(nproc)" --target kiln

mkdir -p out/pk
if [ $# -eq 0 ]; then set -- 600; fi
status=0
build/linux/kiln --definition examples/FONTS.DAT "$@" || status=$?
echo
echo "PK fonts in out/pk:"
ls out/pk
exit $status
