#!/usr/bin/env bash
# Runs the libFuzzer targets over their seed corpora.
#   scripts/fuzz.sh --ci          every target for a bounded time (CI)
#   scripts/fuzz.sh TARGET [SECONDS]   one target, long local run
# New corpus entries go to build/fuzz/corpus/TARGET; crashes to build/fuzz/crashes.
set -uo pipefail
cd "$(dirname "$0")/.."
# Absolute paths: the targets work inside a scratch directory of their own.
top=$PWD

scripts/install-deps.sh build fuzz || exit 1
cmake --preset fuzz >/dev/null && cmake --build --preset fuzz -j"$(nproc)" || exit 1

targets=(reader jobgen cmdline argsplit dvi vf request)
run_target() {
  local target=$1 seconds=$2
  local corpus=$top/build/fuzz/corpus/$target
  mkdir -p "$corpus" "$top/build/fuzz/crashes"
  echo "--- $target: $seconds s"
  # A smaller quarantine and no fill of new blocks: the targets allocate
  # much per input, and the default ones cost most of the run in page faults.
  ASAN_OPTIONS=detect_leaks=1:quarantine_size_mb=16:max_malloc_fill_size=0 \
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    "$top/build/fuzz/${target}_fuzz" -max_total_time="$seconds" -max_len=8192 -timeout=10 \
    -rss_limit_mb=1024 -artifact_prefix="$top/build/fuzz/crashes/${target}-" -print_final_stats=1 \
    "$corpus" "$top/fuzz/corpus/$target" 2>&1 | tail -n 12
  return "${PIPESTATUS[0]}"
}

if [ "${1:-}" = "--ci" ]; then
  seconds=${KILN_FUZZ_SECONDS:-45}
  failed=0
  # Two at a time: the machine has two cores.
  pids=()
  for target in "${targets[@]}"; do
    run_target "$target" "$seconds" > "build/fuzz/$target.out" 2>&1 &
    pids+=($!)
    if [ ${#pids[@]} -eq 2 ]; then
      for pid in "${pids[@]}"; do wait "$pid" || failed=$((failed + 1)); done
      pids=()
    fi
  done
  for pid in "${pids[@]}"; do wait "$pid" || failed=$((failed + 1)); done
  for target in "${targets[@]}"; do cat "build/fuzz/$target.out"; done
  echo "fuzz targets: $(( ${#targets[@]} - failed )) clean, $failed crashed"
  [ $failed -eq 0 ]
else
  target=${1:?usage: scripts/fuzz.sh --ci | TARGET [SECONDS]}
  run_target "$target" "${2:-3600}"
fi
