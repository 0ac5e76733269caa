#!/usr/bin/env bash
# Inputs per CPU second of the definition-file fuzz targets, with each input
# served from memory against the same target writing it to a file and
# reading it back (KILN_FUZZ_FROM_DISK), as every run of the program reads
# its definition file. Both start from the seed corpus with the same seed and
# make the same number of runs; the two alternate, three rounds each, so that
# drift of the machine hits both alike. Medians and their ratio come from
# this one run.
#
#   bench/fuzz-rate.sh [RUNS]        (default 200000 runs per measurement)
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD
runs=${1:-200000}

cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$(nproc)" --target reader_fuzz jobgen_fuzz >/dev/null

# CPU seconds (user + system) of one fuzzing run.
cpu_seconds() {
  local target=$1 scratch
  scratch=$(mktemp -d)
  local TIMEFORMAT='%U %S'
  local times
  times=$( { time ASAN_OPTIONS=quarantine_size_mb=16:max_malloc_fill_size=0 \
      "$top/build/fuzz/${target}_fuzz" -runs="$runs" -seed=1 -max_len=8192 \
      "$scratch" "$top/fuzz/corpus/$target" >/dev/null 2>&1; } 2>&1 | tail -n 1)
  rm -rf "$scratch"
  awk '{ print $1 + $2 }' <<<"$times"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

for target in reader jobgen; do
  memory=() disk=()
  for round in 1 2 3; do
    memory+=("$(cpu_seconds "$target")")
    disk+=("$(KILN_FUZZ_FROM_DISK=1 cpu_seconds "$target")")
  done
  m=$(printf '%s\n' "${memory[@]}" | median)
  d=$(printf '%s\n' "${disk[@]}" | median)
  awk -v t="$target" -v r="$runs" -v m="$m" -v d="$d" 'BEGIN {
    printf "%-7s %d runs: memory %6.2f CPU-s (%6.0f inputs/s), file %6.2f CPU-s (%6.0f inputs/s), ratio %.1fx\n",
      t, r, m, r / m, d, r / d, d / m }'
done
