#!/usr/bin/env bash
# Runs the Windows build under Wine with a virtual X display: the cross-built
# core unit tests (a console program) and then kiln_driver.exe, which operates
# kiln.exe's dialogs with mf.exe and gftopk.exe stand-ins on the PATH, and
# in its real_* cases with the genuine Windows METAFONT, gftopk and
# kpsewhich that scripts/windows-tex.sh makes (cached after its first run),
# comparing their PK files with those the terminal program (build/linux,
# built when missing) makes with the Linux programs for the same jobs.
#
#   scripts/wine-tests.sh [BUILD_DIR] [-- DRIVER_ARGS...]
#
# BUILD_DIR defaults to build/win32 and is configured and built with the MinGW
# toolchain when needed. The Wine prefix lives in BUILD_DIR/wineprefix,
# screenshots (BMP from the driver, PNG beside them) in BUILD_DIR/shots.
# Ends with "N passed, M failed" and a non-zero status on any failure.
#
# Where the kernel cannot execute 32-bit programs (32-bit Wine fails with
# "Exec format error"), the same sources are built for x86_64 in the sibling
# directory win64 (e.g. build/win64) and run under 64-bit Wine instead: the
# shipped program stays 32-bit, the 64-bit build only carries the tests.
# KILN_WINE_ARCH=32 or 64 forces one; a BUILD_DIR named win64 implies 64.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)

if [[ "${KILN_WINE_INSIDE:-}" != 1 ]]; then
  BUILD=$ROOT/build/win32
  if [[ $# -gt 0 && "$1" != -- ]]; then BUILD=$1; shift; fi
  [[ "${1:-}" == -- ]] && shift
  for tool in wine wineserver xvfb-run; do
    command -v "$tool" >/dev/null || { echo "wine-tests: $tool is not installed" >&2; exit 2; }
  done
  arch=${KILN_WINE_ARCH:-}
  [[ -z "$arch" && "$(basename "$BUILD")" == win64 ]] && arch=64
  if [[ -z "$arch" ]]; then
    # /usr/bin/wine starts the 32-bit loader whenever it is installed, so its
    # own failure is the test of whether 32-bit programs run here.
    if probe=$(wine --version 2>&1); then
      arch=32
    else
      echo "wine-tests: 32-bit Wine cannot run here: ${probe##*: }"
      arch=64
    fi
  fi
  case "$arch" in
    32) toolchain=i686 ;;
    64)
      toolchain=x86_64
      [[ "$(basename "$BUILD")" == win32 ]] && BUILD=$(dirname "$BUILD")/win64
      [[ -x /usr/lib/wine/wine64 ]] ||
        { echo "wine-tests: 64-bit Wine (package wine64) is not installed" >&2; exit 2; }
      ;;
    *) echo "wine-tests: KILN_WINE_ARCH must be 32 or 64" >&2; exit 2 ;;
  esac
  mkdir -p "$BUILD"
  BUILD=$(cd "$BUILD" && pwd)
  if [[ ! -f "$BUILD/CMakeCache.txt" ]]; then
    cmake -S "$ROOT" -B "$BUILD" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-mingw-$toolchain.cmake" \
      -DCMAKE_BUILD_TYPE=Release >/dev/null
  fi
  if ! grep -q "^CMAKE_AR:.*/$toolchain-w64-mingw32-" "$BUILD/CMakeCache.txt"; then
    echo "wine-tests: $BUILD was not configured for $toolchain; use another directory"
    echo "0 passed, 1 failed"
    exit 1
  fi
  echo "wine-tests: testing the $arch-bit Windows build ($BUILD) under $arch-bit Wine"
  if ! cmake --build "$BUILD" -j2 >"$BUILD/wine-build.log" 2>&1; then
    tail -40 "$BUILD/wine-build.log"
    echo "wine-tests: the build failed (see $BUILD/wine-build.log)"
    echo "0 passed, 1 failed"
    exit 1
  fi
  # The real cases' programs and the terminal program for their reference.
  tex_dir=
  if ! tex_dir=$("$ROOT/scripts/windows-tex.sh" --arch "$arch"); then
    echo "wine-tests: no Windows TeX programs (scripts/windows-tex.sh failed): the real cases fail"
    tex_dir=
  fi
  linux=$ROOT/build/linux
  if ! { { [[ -f "$linux/CMakeCache.txt" ]] || cmake --preset linux >/dev/null; } &&
         cmake --build "$linux" --target kiln -j2; } >"$BUILD/wine-linux-build.log" 2>&1; then
    echo "wine-tests: the terminal program did not build (see $BUILD/wine-linux-build.log): the real cases fail"
    tex_dir=
  fi
  export KILN_WINE_INSIDE=1 KILN_WINE_BUILD=$BUILD KILN_WINE_ARCH=$arch KILN_WINE_TEX=$tex_dir \
    KILN_LINUX_KILN=$linux/kiln
  # One X server for everything; Wine stops inside it (see below).
  exec xvfb-run -a -s '-screen 0 1280x1024x24' "$0" "$@"
fi

BUILD=$KILN_WINE_BUILD
export WINEPREFIX=$BUILD/wineprefix WINEARCH=win$KILN_WINE_ARCH WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [[ $KILN_WINE_ARCH == 64 ]]; then
  # /usr/bin/wine would pick the installed but unusable 32-bit loader.
  export WINELOADER=/usr/lib/wine/wine64
  wine() { "$WINELOADER" "$@"; }
fi
# Wine's ANSI code page follows the locale: 932 is what the program's texts need.
export LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8

winpath() { local p=$1; echo "Z:${p//\//\\}"; }

passed=0 failed=0
stop_wine() { wineserver -k 2>/dev/null || true; }
trap stop_wine EXIT

if [[ ! -f "$WINEPREFIX/.kiln-prefix-3" ]]; then
  echo "wine-tests: creating the Wine prefix $WINEPREFIX"
  wine wineboot --init >/dev/null 2>&1
  # Without a window manager, Managed windows make every close wait ~2 s.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
  # A crashing program ends instead of waiting in the debugger.
  wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' /v Debugger /t REG_SZ \
    /d false /f >/dev/null 2>&1
  mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
  cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  # The dialogs ask for "ＭＳ Ｐゴシック", which Wine lacks; without a stand-in
  # a monospace font draws and the captions no longer fit their controls.
  python3 - "$WINEPREFIX/fonts.reg" <<'PY'
import sys
text = 'REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n'
for face, real in [('ＭＳ Ｐゴシック', 'IPAPGothic'), ('MS PGothic', 'IPAPGothic'),
                   ('ＭＳ ゴシック', 'IPAGothic'), ('MS Gothic', 'IPAGothic'),
                   ('MS UI Gothic', 'IPAPGothic')]:
    text += '"%s"="%s"\r\n' % (face, real)
open(sys.argv[1], 'wb').write(text.encode('cp932'))
PY
  wine regedit "$(winpath "$WINEPREFIX/fonts.reg")" >/dev/null 2>&1
  wineserver -w
  rm -f "$WINEPREFIX"/.kiln-prefix-*
  touch "$WINEPREFIX/.kiln-prefix-3"
fi

# Debian's main TeX tree where a user's TeX Live has it, for the real cases
# in a user's directory (--case-dir): what METAFONT prints of its sources
# then reads as on a user's machine.
mkdir -p "$WINEPREFIX/drive_c/texlive/2022"
ln -sfn /usr/share/texlive/texmf-dist "$WINEPREFIX/drive_c/texlive/2022/texmf-dist"

# Unit tests: console programs, no display needed.
run_gtest() {
  local exe=$1 log=$BUILD/wine-$(basename "$1" .exe).log
  if [[ ! -f "$exe" ]]; then
    echo "wine-tests: $exe was not built"
    failed=$((failed + 1))
    return
  fi
  set +e
  wine "$exe" 2>&1 | tee "$log"
  local rc=${PIPESTATUS[0]}
  set -e
  local p f
  p=$(sed -n 's/^\[  PASSED  \] \([0-9]*\) test.*/\1/p' "$log" | tail -1)
  f=$(sed -n 's/^\[  FAILED  \] \([0-9]*\) test.*/\1/p' "$log" | tail -1)
  passed=$((passed + ${p:-0}))
  failed=$((failed + ${f:-0}))
  if [[ $rc -ne 0 && ${f:-0} -eq 0 ]]; then
    echo "wine-tests: $(basename "$exe") ended with status $rc"
    failed=$((failed + 1))
  fi
}
run_gtest "$BUILD/kiln_core_tests.exe"
run_gtest "$BUILD/kiln_win32_tests.exe"

# Dialog tests.
kiln=$(find "$BUILD" -maxdepth 3 -name kiln.exe -not -path "$WINEPREFIX/*" | head -1)
driver=$BUILD/kiln_driver.exe
if [[ -z "$kiln" || ! -f "$driver" ]]; then
  echo "wine-tests: kiln.exe or kiln_driver.exe was not built"
  failed=$((failed + 1))
else
  # run_driver LOG DRIVER_ARGS...: adds its cases to the counts.
  run_driver() {
    local log=$1 rc line
    shift
    set +e
    wine "$driver" --kiln "$(winpath "$kiln")" --standins "$(winpath "$BUILD/standin")" \
      --scratch "$(winpath "$BUILD/wine-scratch")" "$@" 2>&1 | tee "$log"
    rc=${PIPESTATUS[0]}
    set -e
    line=$(grep -E '^[0-9]+ passed, [0-9]+ failed' "$log" | tail -1 || true)
    if [[ -n "$line" ]]; then
      passed=$((passed + $(echo "$line" | cut -d' ' -f1)))
      failed=$((failed + $(echo "$line" | cut -d' ' -f3)))
    fi
    if [[ $rc -ne 0 && ( -z "$line" || "$line" == *" 0 failed" ) ]]; then
      echo "wine-tests: kiln_driver.exe ended with status $rc"
      failed=$((failed + 1))
    fi
  }
  rm -rf "$BUILD/wine-scratch" "$BUILD/shots"
  mkdir -p "$BUILD/wine-scratch" "$BUILD/shots"
  # The real cases' reference: their jobs built by the terminal program with
  # the Linux mf and gftopk, a bitmap for every font of the document as the
  # Windows program makes them (no font map). Its exit status says only
  # that one font of the jobs has no source.
  real=()
  if [[ -n "$KILN_WINE_TEX" ]]; then
    jobs=$BUILD/wine-reference-jobs reference=$BUILD/wine-reference
    rm -rf "$jobs" "$reference"
    mkdir -p "$reference"
    if wine "$driver" --export-reference "$(winpath "$jobs")"; then
      mapfile -t sets < <(sed -n 's/^\([A-Za-z0-9_]*\):$/\1/p' "$jobs/FONTS.DAT")
      (cd "$jobs" && "$KILN_LINUX_KILN" --definition FONTS.DAT --target-dir "$reference" \
        --dvi paper.dvi --map none 600 "${sets[@]}") >"$BUILD/wine-reference.log" 2>&1 || true
    fi
    real=(--tex "$(winpath "$KILN_WINE_TEX")" --reference "$(winpath "$reference")")
  fi
  run_driver "$BUILD/wine-driver.log" --shots "$(winpath "$BUILD/shots")" "${real[@]}" "$@"
  for bmp in "$BUILD"/shots/*.bmp; do
    [[ -f "$bmp" ]] && /usr/bin/convert "$bmp" "${bmp%.bmp}.png" 2>/dev/null && rm -f "$bmp"
  done
  if [[ $# -eq 0 ]]; then
    # The screenshots' mode: consecutive cases in one user directory, whose
    # parents a fresh prefix lacks.
    rm -rf "$WINEPREFIX/drive_c/kiln-user"
    # The first run's last programs (kiln.exe, its console host) must be
    # gone: a console still closing can make the next AllocConsole fail.
    wineserver -w
    run_driver "$BUILD/wine-driver-case-dir.log" --case-dir 'C:\kiln-user\texmf' "${real[@]}" \
      --only settings_initial_state,batch_progress,reaction_stop
  fi
fi

stop_wine
trap - EXIT
echo "wine-tests: ran the $KILN_WINE_ARCH-bit Windows build under $KILN_WINE_ARCH-bit Wine"
echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
