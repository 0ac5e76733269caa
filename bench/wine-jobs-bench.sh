#!/usr/bin/env bash
# Times kiln.exe under Wine on a batch of 24 fonts without a JOBS line (one
# at a time) and with JOBS 2 (KILN_BENCH_JOBS="0 2 3" adds JOBS 3), METAFONT being the tests' stand-in that works a fixed time per
# font (KILN_STANDIN_SLEEP_MS, default 1000 ms), gftopk the tests' stand-in.
# The variants alternate over the repetitions, so that drift of the machine
# hits all of them alike; medians are compared, and the ratios come from this
# one run.
#
#   bench/wine-jobs-bench.sh [BUILD_DIR] [REPS]
#
# BUILD_DIR is a Windows build with its Wine prefix, as scripts/wine-tests.sh
# leaves it (default: build/win64 where 32-bit programs cannot run, else
# build/win32). Needs wine, xvfb-run.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
if [[ "${KILN_BENCH_INSIDE:-}" != 1 ]]; then
  BUILD=${1:-}
  if [[ -z "$BUILD" ]]; then
    if wine --version >/dev/null 2>&1; then BUILD=$ROOT/build/win32; else BUILD=$ROOT/build/win64; fi
  fi
  BUILD=$(cd "$BUILD" && pwd)
  [[ -f "$BUILD/wineprefix/system.reg" ]] ||
    { echo "wine-jobs-bench: no Wine prefix in $BUILD; run scripts/wine-tests.sh $BUILD first" >&2; exit 2; }
  export KILN_BENCH_INSIDE=1 KILN_BENCH_BUILD=$BUILD KILN_BENCH_REPS=${2:-3}
  exec xvfb-run -a -s '-screen 0 1280x1024x24' "$0"
fi

BUILD=$KILN_BENCH_BUILD
REPS=$KILN_BENCH_REPS
export WINEPREFIX=$BUILD/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
if [[ "$(basename "$BUILD")" == win64 ]]; then
  export WINELOADER=/usr/lib/wine/wine64
  wine() { "$WINELOADER" "$@"; }
fi
winpath() { local p=$1; echo "Z:${p//\//\\}"; }
trap 'wineserver -k 2>/dev/null || true' EXIT

kiln=$(find "$BUILD" -maxdepth 3 -name kiln.exe -not -path "$WINEPREFIX/*" | head -1)
work=$(mktemp -d "$BUILD/bench.XXXXXX")
export PATH="$BUILD/standin:$PATH"
export WINEPATH="$(winpath "$BUILD/standin")"
export KILN_STANDIN_SLEEP_MS=${KILN_STANDIN_SLEEP_MS:-1000}

# 24 fonts: four magnifications of six fonts.
sets="bench:
cmr 5m0 5m1 5m2 5*3 6m0 6m1 6m2 6*3 7m0 7m1 7m2 7*3
cmbx 5m0 5m1 5m2 5*3 6m0 6m1 6m2 6*3 7m0 7m1 7m2 7*3
"

# run JOBS: prints the seconds one batch took.
run() {
  local jobs=$1 dir=$work/jobs$1
  rm -rf "$dir"
  mkdir -p "$dir/pk"
  { echo "400 nexthi"; echo "MF mf \\mode="; echo "TARGET_DIR $(winpath "$dir/pk")"
    [[ $jobs -gt 0 ]] && echo "JOBS $jobs"
    echo "BEGIN_SOURCE"; echo "$sets"; } | sed 's/$/\r/' > "$dir/FONTS.DAT"
  wine reg add 'HKCU\Software\Fontkiln\kiln' /v DataFilePath /t REG_SZ \
    /d "$(winpath "$dir/FONTS.DAT")" /f >/dev/null 2>&1
  local start end
  start=$(date +%s.%N)
  (cd "$dir" && wine "$(winpath "$kiln")" 400 bench >/dev/null 2>&1) || true
  end=$(date +%s.%N)
  local built
  built=$(find "$dir/pk" -maxdepth 1 -type f -name '*pk' | wc -l)
  [[ $built -eq 24 ]] || { echo "wine-jobs-bench: JOBS $jobs built $built of 24 fonts" >&2; exit 1; }
  echo "$end - $start" | bc
}

wineserver -p 2>/dev/null || true  # a warm server for every variant
declare -A times
VARIANTS=${KILN_BENCH_JOBS:-0 2}
for ((r = 0; r < REPS; r++)); do
  for jobs in $VARIANTS; do
    t=$(run $jobs)
    times[$jobs]+="$t "
    echo "rep $r: JOBS ${jobs/#0/1 (no JOBS line)}: $t s"
  done
done
median() { tr ' ' '\n' | grep . | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
echo "24 fonts, stand-in METAFONT ${KILN_STANDIN_SLEEP_MS} ms per font, $(nproc) processors," \
  "load $(cut -d' ' -f1 /proc/loadavg), median of $REPS:"
m1=$(echo "${times[0]}" | median)
echo "  without JOBS (one at a time): $m1 s"
for jobs in $VARIANTS; do
  [[ $jobs == 0 ]] && continue
  m=$(echo "${times[$jobs]}" | median)
  echo "  JOBS $jobs: $m s  (ratio to one at a time: $(echo "scale=2; $m / $m1" | bc))"
done
rm -rf "$work"
