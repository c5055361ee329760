#!/bin/sh
# Installs what Brindle needs from Debian (only what is missing) and builds it.
#   tools/setup.sh run    packages to build and run the window
#   tools/setup.sh test   those and everything the test suite uses
set -eu
cd "$(dirname "$0")/.."

run_packages="qt6-base-dev libssl-dev libseccomp-dev cmake ninja-build g++ wget xdg-utils xdg-user-dirs python3 fonts-dejavu-core
  qt6-tools-dev qt6-l10n-tools qt6-translations-l10n gettext po4a go-md2man"
test_packages="$run_packages libbenchmark-dev nginx-light lighttpd python3 xvfb xauth x11-apps imagemagick
  xdotool libx11-dev bc desktop-file-utils appstream clang libclang-rt-dev dpkg-dev file
  lintian build-essential debhelper libglib2.0-bin dbus-daemon at-spi2-core python3-gi gir1.2-atspi-2.0
  locales man-db"

case "${1:-run}" in
  run) wanted=$run_packages ;;
  test) wanted=$test_packages ;;
  *) echo "usage: $0 run|test" >&2; exit 2 ;;
esac

as_root=""
[ "$(id -u)" -eq 0 ] || as_root=sudo
missing=""
for package in $wanted; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing="$missing $package"
done
if [ -n "$missing" ]; then
  echo "Installing:$missing"
  export DEBIAN_FRONTEND=noninteractive
  $as_root apt-get update -qq
  # shellcheck disable=SC2086
  $as_root apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi

# The file-name tests run wget in de_DE.UTF-8 and ja_JP.EUC-JP (neither UTF-8
# nor Latin-1) as well as in C; the window's tests start it in a UTF-8 locale
# of each language in translations/LINGUAS.
if [ "${1:-run}" = test ]; then
  locales=de_DE
  for language in $(grep -v '^#' translations/LINGUAS); do
    locale -a 2>/dev/null | grep -qi "^${language}_[a-z]*\.utf8\$" ||
      locales="$locales $(cd /usr/share/i18n/locales && ls -d "${language}"_[A-Z][A-Z] | head -n 1)"
  done
  for locale in $locales; do
    if ! locale -a 2>/dev/null | grep -qix "$locale.utf8"; then
      echo "Making the $locale.UTF-8 locale"
      $as_root localedef -i "$locale" -f UTF-8 "$locale.UTF-8"
    fi
  done
  if ! locale -a 2>/dev/null | grep -qix "ja_JP.eucjp"; then
    echo "Making the ja_JP.EUC-JP locale"
    $as_root localedef -i ja_JP -f EUC-JP ja_JP.EUC-JP
  fi
fi

cmake --preset default >/dev/null
cmake --build --preset default
