#!/usr/bin/env bash
# Makes genuine Windows TeX programs for the Wine tests: METAFONT (without a
# window, as mf.exe), gftopk, kpsewhich and pktype, cross-built with MinGW-w64
# from the source of the TeX programs this machine has installed (Debian's
# source package texlive-bin, at the version of texlive-binaries), with a base
# file made by the Windows METAFONT itself and a texmf.cnf that reads
# Debian's TeX trees through Wine's drive Z:.
#
#   scripts/windows-tex.sh [--arch 32|64]
#
# Prints the folder that holds bin/ (the programs) and web2c/ (texmf.cnf and
# mf.base; point TEXMFCNF there) on its last line of standard output. The
# folder is kept in KILN_WINDOWS_TEX_CACHE (default ~/.cache/fontkiln/
# windows-tex), named by the source version, the target and this script, so
# a second run only prints it. --arch defaults to what scripts/wine-tests.sh
# chooses: 32 where 32-bit Wine runs, 64 elsewhere.
#
# The only network use is apt fetching the source package from the archive
# the machine's own apt entry names, through a deb-src copy of that entry in a
# list file and state folder of this script's own.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
say() { echo "windows-tex: $*" >&2; }
die() { say "$*"; exit 1; }

arch=${KILN_WINE_ARCH:-}
while [[ $# -gt 0 ]]; do
  case "$1" in
    --arch) arch=${2:-}; shift 2 || die "--arch needs 32 or 64" ;;
    *) die "unknown argument '$1' (usage: windows-tex.sh [--arch 32|64])" ;;
  esac
done
if [[ -z "$arch" ]]; then
  if wine --version >/dev/null 2>&1; then arch=32; else arch=64; fi
fi
case "$arch" in
  32) host=i686-w64-mingw32 ;;
  64) host=x86_64-w64-mingw32 ;;
  *) die "--arch must be 32 or 64" ;;
esac

for tool in dpkg-query dpkg-source apt-get $host-gcc tangle tie ctangle otangle wine; do
  command -v "$tool" >/dev/null ||
    die "$tool is missing (scripts/install-deps.sh build metafont win32 installs it)"
done
[[ -f /usr/$host/include/zlib.h ]] || die "zlib for $host is missing (package libz-mingw-w64-dev)"

version=$(dpkg-query -W -f='${source:Version}' texlive-binaries 2>/dev/null) ||
  die "texlive-binaries is not installed: its version names the source to build"
recipe=$(sha256sum "$ROOT/scripts/windows-tex.sh" | cut -c1-10)
cache=${KILN_WINDOWS_TEX_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/fontkiln/windows-tex}
out=$cache/texlive-bin_${version}_${host}_$recipe
if [[ -f "$out/.complete" ]]; then
  echo "$out"
  exit 0
fi

mkdir -p "$cache"
exec 9>"$cache/.lock"
flock 9
# Another run may have made it while this one waited.
if [[ -f "$out/.complete" ]]; then
  echo "$out"
  exit 0
fi
start=$SECONDS

# --- the source package, once for both targets
source_dir=$cache/source/$version
if ! compgen -G "$source_dir/texlive-bin_*.dsc" >/dev/null; then
  state=$cache/apt
  mkdir -p "$state/lists/partial" "$source_dir"
  entries=(/etc/apt/sources.list.d/*.sources)
  [[ -f "${entries[0]}" ]] || die "no deb822 entry in /etc/apt/sources.list.d to copy"
  sed 's/^Types:.*/Types: deb-src/' "${entries[@]}" >"$state/source.sources"
  apt_own=(-o Dir::Etc::SourceList="$state/source.sources" -o Dir::Etc::SourceParts=/dev/null
           -o Dir::State::Lists="$state/lists" -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache=
           -o APT::Sandbox::User=root)
  say "fetching the source package texlive-bin $version"
  apt-get -q "${apt_own[@]}" update >&2 || die "apt could not read the source index"
  (cd "$source_dir" && apt-get -q "${apt_own[@]}" source --download-only "texlive-bin=$version") >&2 ||
    die "apt could not fetch texlive-bin $version"
fi

# --- unpack, prune, configure, build
work=$cache/work-$host
rm -rf "$work" "$out"
mkdir -p "$work"
say "unpacking"
dsc=$(compgen -G "$source_dir/texlive-bin_*.dsc" | head -1)
dpkg-source --no-check -x "$dsc" "$work/src" >"$work/unpack.log" 2>&1 ||
  { tail -20 "$work/unpack.log" >&2; die "dpkg-source could not unpack $dsc"; }
src=$work/src
# Only what METAFONT, gftopk and kpsewhich need: configure stays fast, and
# luajit's own native configure fails under a cross build.
rm -rf "$src"/libs/{luajit,lua53,pplib,xpdf} "$src"/utils/*/
for dir in "$src"/texk/*/; do
  case "$(basename "$dir")" in kpathsea|ptexenc|texlive|web2c) ;; *) rm -rf "$dir" ;; esac
done

engines=(tex etex ptex eptex uptex euptex aleph hitex pdftex luatex luajittex luahbtex luajithbtex
         mp pmp upmp xetex mflua mfluajit)
disable=()
for engine in "${engines[@]}"; do disable+=("--disable-$engine"); done
mkdir -p "$work/build"
say "configuring for $host"
(cd "$work/build" &&
  "$src/configure" --host=$host --build=x86_64-linux-gnu --disable-all-pkgs --enable-web2c \
    --enable-mf --enable-mf-nowin --enable-web-progs --without-x --disable-shared --enable-missing \
    --disable-synctex --disable-native-texlive-build --with-system-zlib "${disable[@]}" \
    PKG_CONFIG_LIBDIR=/usr/$host/lib/pkgconfig) >"$work/configure.log" 2>&1 ||
  { tail -30 "$work/configure.log" >&2; die "configure failed (see $work/configure.log)"; }
say "building (make -j2, about two minutes)"
make -C "$work/build" -j2 >"$work/make.log" 2>&1 ||
  { tail -30 "$work/make.log" >&2; die "the build failed (see $work/make.log)"; }

# --- the result, made in a temporary folder and renamed whole
tmp=$out.tmp
rm -rf "$tmp"
mkdir -p "$tmp/bin" "$tmp/web2c"
web2c=$work/build/texk/web2c
for program in mf-nowin:mf gftopk kpsewhich pktype; do
  built=${program%%:*} name=${program##*:}
  file=$(find "$web2c" "$work/build/texk/kpathsea" -name "$built.exe" -not -path '*/.libs/*' | head -1)
  [[ -n "$file" ]] || die "$built.exe was not built"
  $host-strip -o "$tmp/bin/$name.exe" "$file"
done

winpath() { echo "Z:$1"; }
cnf_dir=$(winpath "$out/web2c")
cat >"$tmp/web2c/texmf.cnf" <<EOF
% kpathsea's settings for the Windows TeX programs in ../bin under Wine:
% Debian's trees through drive Z:, the base file beside this file, no
% programs that make missing files. Each variable may be overridden from
% the environment (TEXMFHOME, TEXMFVAR).
TEXMFDIST = Z:/usr/share/texlive/texmf-dist
TEXMFDEBIAN = Z:/usr/share/texmf
TEXMFHOME = C:/texmf
TEXMFVAR = C:/texmf-var
% The home tree is searched on disk too; Debian's only through their ls-R.
TEXMF = {\$TEXMFHOME;!!\$TEXMFDIST;!!\$TEXMFDEBIAN}
TEXMFDBS = {\$TEXMFHOME;\$TEXMFDIST;\$TEXMFDEBIAN}
TEXMFCNF = $cnf_dir
WEB2C = \$TEXMF/web2c
MFINPUTS = .;\$TEXMF/metafont//;\$TEXMF/fonts/source//
MFBASES = .;$cnf_dir
MFPOOL = .;$cnf_dir
TFMFONTS = .;\$TEXMF/fonts/tfm//
VFFONTS = .;\$TEXMF/fonts/vf//
PKFONTS = .;\$TEXMF/fonts/pk/{\$MAKETEX_MODE,modeless}//
GFFONTS = .;\$TEXMF/fonts/gf//
TEXFONTMAPS = .;\$TEXMF/fonts/map/{dvips,pdftex,}//
T1FONTS = .;\$TEXMF/fonts/type1//
MKTEXPK = 0
MKTEXMF = 0
MKTEXTFM = 0
openout_any = p
openin_any = a
EOF

# The base file, made by the Windows METAFONT itself in a Wine prefix of
# this script's own.
say "making mf.base with the Windows METAFONT"
export WINEPREFIX=$work/wineprefix WINEARCH=win$arch WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
runwine=(wine)
if [[ $arch == 64 ]]; then
  export WINELOADER=/usr/lib/wine/wine64
  runwine=("$WINELOADER")
fi
unset DISPLAY
export TEXMFCNF=$(winpath "$tmp/web2c")
# The texmf.cnf names its final folder; until the rename the base is read
# from "." anyway.
(cd "$tmp/web2c" &&
  "${runwine[@]}" "$tmp/bin/mf.exe" -ini -jobname=mf -translate-file=cp227.tcx mf.ini) \
  >"$work/base.log" 2>&1 </dev/null || true
WINEPREFIX=$work/wineprefix wineserver -k 2>/dev/null || true
[[ -s "$tmp/web2c/mf.base" ]] ||
  { tail -20 "$work/base.log" >&2; die "the Windows METAFONT made no mf.base (see $work/base.log)"; }
rm -f "$tmp/web2c/mf.log"

mv "$tmp" "$out"
date -u +%FT%TZ >"$out/.complete"
rm -rf "$work"
say "made in $((SECONDS - start)) s"
echo "$out"
