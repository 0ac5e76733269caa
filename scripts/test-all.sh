#!/usr/bin/env bash
# Every test: the native build, the same under AddressSanitizer and
# UndefinedBehaviorSanitizer (end-to-end runs included), the platform files'
# portable POSIX paths, and the Windows cross build under Wine (the core's
# unit tests and the dialog tests). Where 32-bit programs cannot run, the
# Wine step tests an x86_64 build of the same sources under 64-bit Wine; the
# 32-bit program is still cross-built here.
set -uo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh build metafont win32 fuzz || exit 1
jobs=$(nproc)
passed=0
failed=0
failures=()

step() {
  local name=$1; shift
  echo
  echo "=== $name ==="
  if "$@"; then
    passed=$((passed + 1))
  else
    failed=$((failed + 1))
    failures+=("$name")
  fi
}

# build_preset PRESET [--target NAME...]
build_preset() {
  local preset=$1; shift
  cmake --preset "$preset" >/dev/null && cmake --build --preset "$preset" -j"$jobs" "$@"
}

step "native build" build_preset linux
step "native tests" ctest --preset linux -j"$jobs"
step "sanitizer build" build_preset linux-asan
step "sanitizer tests" env ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --preset linux-asan -j"$jobs"
# The platform files' portable paths, which only systems other than Linux
# and macOS take: their own tests and the terminal program's.
step "generic POSIX build" build_preset linux-generic --target kiln kiln_posix_tests kiln_term_tests
step "generic POSIX tests" ctest --preset linux-generic -j"$jobs" -R 'posix|term'
step "win32 cross build" build_preset win32
if [ -x scripts/wine-tests.sh ]; then
  step "win32 tests under Wine" scripts/wine-tests.sh build/win32
fi
if [ -x scripts/fuzz.sh ]; then
  step "bounded fuzzing" scripts/fuzz.sh --ci
fi

echo
if [ $failed -ne 0 ]; then
  printf 'failed: %s\n' "${failures[@]}"
fi
echo "suites: $passed passed, $failed failed"
[ $failed -eq 0 ]
