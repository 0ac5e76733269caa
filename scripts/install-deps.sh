#!/usr/bin/env bash
# Installs the Debian packages a group of jobs needs, only when missing.
#   scripts/install-deps.sh build      compiler, CMake, GoogleTest, gettext, and file and
#                                      lintian for making and checking the Debian package
#   scripts/install-deps.sh metafont   METAFONT and gftopk with the CM sources; also kpsewhich,
#                                      tex, dvips and vptovf for the TeX-tree tests, latex
#                                      (with fontenc, textcomp, amsmath, the EC, AMS and ae
#                                      fonts) and dvipng for the driver tests
#   scripts/install-deps.sh win32      MinGW-w64 (32- and 64-bit) with its zlib (for
#                                      scripts/windows-tex.sh), Wine (both), Xvfb,
#                                      Japanese font and locale
#   scripts/install-deps.sh fuzz       clang with libFuzzer
set -euo pipefail

packages_for() {
  case "$1" in
    build) echo "cmake make g++ libgtest-dev python3 gettext groff-base dpkg-dev file lintian" ;;
    metafont) echo "texlive-binaries texlive-base texlive-latex-base texlive-latex-recommended texlive-fonts-recommended dvipng" ;;
    win32) echo "g++-mingw-w64-i686 g++-mingw-w64-x86-64-posix libz-mingw-w64-dev wine wine32:i386 wine64 xvfb xauth fonts-ipafont-gothic fonts-wine imagemagick x11-apps locales" ;;
    fuzz) echo "clang libclang-rt-14-dev" ;;
    *) echo "install-deps: unknown group '$1'" >&2; exit 2 ;;
  esac
}

missing=()
need_i386=0
for group in "$@"; do
  for package in $(packages_for "$group"); do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed"; then
      missing+=("$package")
      case "$package" in *:i386) need_i386=1 ;; esac
    fi
  done
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
  if [ $need_i386 -eq 1 ] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get -o DPkg::Lock::Timeout=900 install -y -q --no-install-recommends "${missing[@]}"
fi

for group in "$@"; do
  if [ "$group" = win32 ] && ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf8$'; then
    # Wine needs the Japanese locale for code page 932.
    if [ "$(id -u)" -ne 0 ]; then SUDO=sudo; else SUDO=; fi
    $SUDO sed -i 's/^# *ja_JP.UTF-8/ja_JP.UTF-8/' /etc/locale.gen
    $SUDO locale-gen
  fi
done
