#!/bin/sh
# Installs Brindle into a scratch root, validates its desktop entry and
# AppStream data, launches the entry as a desktop does, builds the source
# package and the .deb from debian/ as Debian does, checks them with lintian
# and the .deb for its contents and dependencies, and starts the packaged
# binary under a virtual display.
#   package_test.sh <source dir> <build dir>
set -eu
source=$1 build=$2
scratch=$(mktemp -d)
# A release tarball unpacks with group-writable files (git archive writes
# 0664): the install sets every mode itself, so lay the templates out so.
templates="$source/data/org.example.Brindle.desktop.in $source/data/org.example.Brindle.metainfo.xml"
modes=$(stat -c %a $templates)
trap 'rm -rf "$scratch"; set -- $modes; for t in $templates; do chmod "$1" "$t"; shift; done' EXIT INT TERM
chmod 664 $templates

cmake --install "$build" --prefix "$scratch/root" >/dev/null
odd=$(find "$scratch/root" -type f ! -perm 644 ! -perm 755)
[ -z "$odd" ] || { echo "installed with odd modes: $odd"; exit 1; }
share=$scratch/root/share
for file in bin/brindle share/applications/org.example.Brindle.desktop \
    share/metainfo/org.example.Brindle.metainfo.xml; do
  test -f "$scratch/root/$file" || { echo "not installed: $file"; exit 1; }
done
for size in 16 24 32 48; do
  file "$share/icons/hicolor/${size}x$size/apps/org.example.Brindle.png" | grep -q "$size x $size, 8-bit colormap"
done
desktop-file-validate "$share/applications/org.example.Brindle.desktop"
appstreamcli validate --no-net --pedantic "$share/metainfo/org.example.Brindle.metainfo.xml"
# The menu and the software centre in each language.
for expected in 'GenericName[de]=Datei-Downloader' 'Comment[fr]=Télécharger un fichier par HTTP et le voir arriver' \
    'Keywords[es]=descargar;descarga;download;wget;HTTP;'; do
  grep -qxF "$expected" "$share/applications/org.example.Brindle.desktop" || { echo "desktop entry: no $expected"; exit 1; }
done
for expected in '<summary xml:lang="de">Eine Datei über HTTP herunterladen und zusehen, wie sie ankommt</summary>' \
    '<developer_name xml:lang="fr">Les développeurs de Brindle</developer_name>' '<p xml:lang="es">Brindle descarga un solo'; do
  grep -qF "$expected" "$share/metainfo/org.example.Brindle.metainfo.xml" || { echo "metainfo: no $expected"; exit 1; }
done

# The menu entry starts Brindle in the download folder: the one xdg-user-dir
# names, else ~/Downloads, made when missing. GLib launches it as a desktop does,
# in a session with its own private runtime folder.
mkdir -m 700 "$scratch/runtime"
for home in "$scratch/plain-home" "$scratch/configured-home"; do
  mkdir -p "$home/.config"
  expected=$home/Downloads
  if [ "$home" = "$scratch/configured-home" ]; then
    echo 'XDG_DOWNLOAD_DIR="$HOME/Fetched"' >"$home/.config/user-dirs.dirs"
    expected=$home/Fetched
  fi
  started=$(HOME=$home XDG_CONFIG_HOME=$home/.config XDG_RUNTIME_DIR=$scratch/runtime xvfb-run -a sh -c '
    gio launch "$1/applications/org.example.Brindle.desktop"
    for i in $(seq 100); do
      for exe in /proc/[0-9]*/exe; do
        [ "$(readlink "$exe")" = "$2" ] || continue
        pid=${exe#/proc/}; pid=${pid%/exe}
        readlink "/proc/$pid/cwd"; kill "$pid"; exit 0
      done
      sleep 0.1
    done' sh "$share" "$scratch/root/bin/brindle")
  [ "$started" = "$expected" ] || { echo "launched in '$started', not '$expected'"; exit 1; }
done

# Built from a copy without build trees; the suites run here, not again at
# build time (nocheck, also as the build profile, so the test-only build
# dependencies need not be installed), no debug symbols package is looked at
# (noddebs), and on every processor.
mkdir "$scratch/src"
tar -C "$source" --exclude=./.git --exclude='./build*' -cf - . | tar -C "$scratch/src" -xf -
(cd "$scratch/src" && DEB_BUILD_OPTIONS="nocheck noddebs parallel=$(nproc)" dpkg-buildpackage -us -uc -Pnocheck >"$scratch/build.log" 2>&1) ||
  { tail -n 40 "$scratch/build.log"; exit 1; }
lintian --fail-on error,warning "$scratch"/brindle_1.0.0.2_*.changes
deb=$(ls "$scratch"/brindle_1.0.0.2_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for needed in wget libqt6widgets6 libqt6network6 libssl3 libseccomp2; do
  echo "$depends" | grep -q "$needed" || { echo "missing dependency $needed"; exit 1; }
done
dpkg-deb -c "$deb" | grep './usr/bin/brindle$' >/dev/null
dpkg-deb -x "$deb" "$scratch/unpacked"
grep -aq 'ProductVersion=1.00.0002 FileVersion=1.00.0002 FileVersionNumber=1.0.0.2' \
  "$scratch/unpacked/usr/bin/brindle" || { echo "version record"; exit 1; }
for language in $(grep -v '^#' "$source/translations/LINGUAS"); do
  test -f "$scratch/unpacked/usr/share/brindle/translations/brindle_$language.qm" || { echo "no $language catalogue"; exit 1; }
done
MANPATH=$scratch/unpacked/usr/share/man MANWIDTH=80 man -L de brindle 2>/dev/null >"$scratch/man.de"
grep -q '^BESCHREIBUNG' "$scratch/man.de" && grep -q 'Herunterladen' "$scratch/man.de" ||
  { echo "man -L de brindle is not the German page"; head "$scratch/man.de"; exit 1; }
"$source/tools/screenshot.sh" "$scratch/unpacked/usr/bin/brindle" "$scratch/packaged.png" >/dev/null 2>&1
file "$scratch/packaged.png" | grep -q "PNG image data, 358 x 169"
echo "package ok"
