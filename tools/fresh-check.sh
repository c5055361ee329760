#!/bin/sh
# Release check on a fresh Debian, as a new user and as Debian's tools meet
# Brindle. Bootstraps a minimal root of the release (kept between runs),
# clones the current commit into a copy of it and runs the README's two
# commands there, printing each one's time. Then, in another fresh copy with
# only build-essential and the Build-Depends, builds the source package with
# dpkg-buildpackage. On trixie it goes on: builds it again with another path,
# time zone, umask, locale and date and compares the .deb files byte for
# byte; checks the packages with lintian and the build log with blhc;
# installs the package with apt into a third fresh copy, runs its
# autopkgtest there (null runner) and removes the package again.
#   sudo tools/fresh-check.sh [bookworm|trixie]      (default: trixie)
# Screenshots and logs go to $BRINDLE_FRESH_CACHE/<release>-results
# (default /var/cache/brindle-fresh-check). Not part of the test suite.
set -eu
release=${1:-trixie}
case $release in
  bookworm|trixie) ;;
  *) echo "usage: $0 [bookworm|trixie]" >&2; exit 2 ;;
esac
[ "$(id -u)" -eq 0 ] || { echo "fresh-check needs root: debootstrap, mount, chroot" >&2; exit 1; }
repo=$(cd "$(dirname "$0")/.." && pwd)
commit=$(git -C "$repo" rev-parse HEAD)
cache=${BRINDLE_FRESH_CACHE:-/var/cache/brindle-fresh-check}
base=$cache/$release
results=$cache/$release-results
rm -rf "$results"
mkdir -p "$cache" "$results"

missing=""
for package in debootstrap xvfb xauth xdotool imagemagick git; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
    missing="$missing $package"
done
if [ -n "$missing" ]; then
  apt-get update -qq
  # shellcheck disable=SC2086
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing >/dev/null
fi

# The mirror this machine's apt uses.
mirror=$(sed -n 's/^URIs: *//p' /etc/apt/sources.list.d/debian.sources 2>/dev/null | head -n 1)
[ -n "$mirror" ] || mirror=$(awk '$1 == "deb" { print $2; exit }' /etc/apt/sources.list 2>/dev/null)
[ -n "$mirror" ] || mirror=http://deb.debian.org/debian
if [ ! -d "$base" ]; then
  rm -rf "$base.partial"
  debootstrap --variant=minbase "$release" "$base.partial" "$mirror" >"$results/debootstrap.log"
  mv "$base.partial" "$base"
fi

mounted=""
xvfb=""
app=""
# stop_inside ROOT: ends every process running in ROOT.
stop_inside() {
  for process in /proc/[0-9]*; do
    [ "$(readlink "$process/root" 2>/dev/null)" = "$1" ] && kill "${process#/proc/}" 2>/dev/null
  done
  sleep 1
}
cleanup() {
  for root in $mounted; do
    stop_inside "$root"
  done
  [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
  for root in $mounted; do
    for point in var/cache/apt/archives tmp/.X11-unix dev sys proc; do
      umount -R -l "$root/$point" 2>/dev/null || true
    done
  done
}
trap cleanup EXIT INT TERM

# fresh_root NAME [display]: a new copy of the bootstrapped root, with the
# system folders mounted, and this machine's X sockets when asked for. A root
# that starts an X server of its own must not share them: its server would
# take over a socket of this machine's.
fresh_root() {
  root=$cache/$release-$1
  rm -rf "$root"
  cp -a "$base" "$root"
  cp /etc/resolv.conf "$root/etc/resolv.conf"
  mkdir -p "$root/tmp/.X11-unix"
  mount -t proc proc "$root/proc"
  mount --rbind /sys "$root/sys" && mount --make-rslave "$root/sys"
  mount --rbind /dev "$root/dev" && mount --make-rslave "$root/dev"
  [ "${2:-}" != display ] || mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
  # Downloaded packages are kept between runs; what is installed is not.
  mkdir -p "$cache/$release-archives/partial"
  mount --bind "$cache/$release-archives" "$root/var/cache/apt/archives"
  mounted="$mounted $root"
}
# inside ROOT COMMAND: runs a shell command in ROOT with a clean environment.
inside() {
  root=$1
  shift
  chroot "$root" env -i HOME=/root LANG=C.UTF-8 TERM=dumb CI=true DEBIAN_FRONTEND=noninteractive \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin sh -c "$*"
}
# window: waits for Brindle's window on the virtual display; prints its id.
window() {
  for _ in $(seq 1800); do
    id=$(xdotool search --name '^Brindle$' 2>/dev/null | head -n 1) && [ -n "$id" ] && { echo "$id"; return 0; }
    [ -z "$app" ] || ps -o stat= -p "$app" | grep -qv Z || return 1
    sleep 1
  done
  return 1
}
seconds() { echo $(($(date +%s) - $1)); }

# A display number far above those the suite's own Xvfb picks inside the
# root, which shares this machine's X sockets.
number=90
while [ -e "/tmp/.X$number-lock" ] || [ -e "/tmp/.X11-unix/X$number" ]; do number=$((number + 1)); done
Xvfb ":$number" -screen 0 1024x768x24 -nolisten tcp 2>/dev/null &
xvfb=$!
export DISPLAY=":$number"
until xdotool getmouselocation >/dev/null 2>&1; do sleep 0.1; done

fresh_root work display
work=$root
git clone -q "$repo" "$work/root/brindle"
git -C "$work/root/brindle" checkout -q "$commit"
echo "Debian $release: fresh root, Brindle at $commit"

# The first README command: set up, build and show the window.
start=$(date +%s)
inside "$work" "cd /root/brindle && DISPLAY=$DISPLAY exec tools/run.sh" >"$results/run.log" 2>&1 &
app=$!
if ! win=$(window); then
  echo "tools/run.sh: no window (see $results/run.log)"
  exit 1
fi
echo "tools/run.sh: window shown after $(seconds "$start") s"
sleep 2
import -window "$win" "$results/run.png"
stop_inside "$work"
app=""

# The second README command: set up everything and run the whole suite.
start=$(date +%s)
if inside "$work" 'cd /root/brindle && exec tools/test.sh' >"$results/test.log" 2>&1; then
  echo "tools/test.sh: passed in $(seconds "$start") s"
else
  echo "tools/test.sh: FAILED after $(seconds "$start") s (see $results/test.log)"
  tail -n 30 "$results/test.log"
  exit 1
fi

# The source package, built where nothing but build-essential and its
# Build-Depends is installed; dh_auto_test runs the build-time suites.
fresh_root build
build=$root
git clone -q "$repo" "$build/build/brindle"
git -C "$build/build/brindle" checkout -q "$commit"
start=$(date +%s)
inside "$build" 'apt-get update -qq && apt-get install -y -qq --no-install-recommends build-essential &&
  apt-get build-dep -y -qq --no-install-recommends /build/brindle' >"$results/build-deps.log" 2>&1
echo "build-essential and Build-Depends: installed in $(seconds "$start") s"
start=$(date +%s)
if inside "$build" 'cd /build/brindle && dpkg-buildpackage -us -uc' >"$results/build.log" 2>&1; then
  echo "dpkg-buildpackage -us -uc: built in $(seconds "$start") s;" \
    "$(grep -m 1 'tests passed' "$results/build.log")"
else
  echo "dpkg-buildpackage -us -uc: FAILED after $(seconds "$start") s (see $results/build.log)"
  tail -n 30 "$results/build.log"
  exit 1
fi
[ "$release" = trixie ] || exit 0

# The same source built again from its .dsc with everything a build may not
# depend on changed: path, time zone, umask, locale and the clock.
inside "$build" 'apt-get install -y -qq --no-install-recommends faketime' >"$results/faketime.log" 2>&1
start=$(date +%s)
inside "$build" 'mkdir -p /srv/elsewhere/deeper && cd /srv/elsewhere/deeper &&
  dpkg-source -x /build/brindle_*.dsc brindle && cd brindle &&
  umask 0002 && TZ=Pacific/Kiritimati LANG=C faketime "+400 days" dpkg-buildpackage -b -us -uc' \
  >"$results/build-varied.log" 2>&1 || { echo "second build: FAILED (see $results/build-varied.log)"; exit 1; }
differ=""
for deb in "$build"/build/*.deb; do
  cmp -s "$deb" "$build/srv/elsewhere/deeper/${deb##*/}" || differ="$differ ${deb##*/}"
done
if [ -n "$differ" ]; then
  mkdir -p "$results/varied"
  cp "$build"/build/*.deb "$results/"
  cp "$build"/srv/elsewhere/deeper/*.deb "$results/varied/"
  echo "reproducible: NO, these differ (diffoscope $results/<name> $results/varied/<name>):$differ"
  exit 1
fi
echo "reproducible: $(cd "$build/build" && echo *.deb) byte-identical from a build at another" \
  "path, time zone, umask, locale and date, $(seconds "$start") s"

# Maintainers' checks on the first build: lintian on the source and binary
# packages, blhc on the build log.
inside "$build" 'apt-get install -y -qq --no-install-recommends lintian blhc' >"$results/lintian-install.log" 2>&1
inside "$build" 'cd /build && lintian --pedantic --display-info --fail-on error,warning brindle_*.changes' \
  >"$results/lintian.txt" 2>/dev/null || { echo "lintian: FAILED"; cat "$results/lintian.txt"; exit 1; }
echo "lintian --pedantic --display-info: 0 errors, 0 warnings;" \
  "$(grep -c '^[IP]:' "$results/lintian.txt") info or pedantic:" \
  "$(sed -n 's/^[IP]: [^:]*: \([^ ]*\).*/\1/p' "$results/lintian.txt" | tr '\n' ' ')"
cp "$results/build.log" "$build/build/build.log"
inside "$build" 'blhc --all --debian /build/build.log' >"$results/blhc.txt" 2>&1 ||
  { echo "blhc: FAILED"; cat "$results/blhc.txt"; exit 1; }
echo "blhc --all: no missing hardening flag"

# The package installed with apt into another fresh root, its autopkgtest
# run there, and the package removed again.
fresh_root install
install=$root
mkdir -p "$install/root/packages"
cp "$build"/build/brindle_* "$install/root/packages/"
start=$(date +%s)
inside "$install" 'apt-get update -qq && apt-get install -y -qq /root/packages/brindle_*.deb' >"$results/install.log" 2>&1
echo "apt install ./brindle_*.deb: $(seconds "$start") s"
inside "$install" 'dpkg -L brindle' >"$results/files"

inside "$install" 'apt-get install -y -qq --no-install-recommends autopkgtest' >"$results/autopkgtest-install.log" 2>&1
start=$(date +%s)
test_command='autopkgtest /root/packages/brindle_1.0.0.2.dsc /root/packages/brindle_1.0.0.2_amd64.deb -- null'
if inside "$install" "$test_command" >"$results/autopkgtest.log" 2>&1; then
  echo "$test_command: $(awk '/@@@@ summary/ { on = 1 } on && $2 ~ /^(PASS|FAIL|SKIP|FLAKY)$/ { printf "%s %s, ", $1, $2 }' \
    "$results/autopkgtest.log")$(seconds "$start") s"
else
  echo "$test_command: FAILED (see $results/autopkgtest.log)"
  tail -n 30 "$results/autopkgtest.log"
  exit 1
fi

inside "$install" 'apt-get remove -y -qq brindle' >"$results/remove.log" 2>&1
if inside "$install" 'dpkg-query -W -f="\${Status}" brindle 2>/dev/null' | grep -q "ok installed"; then
  echo "apt remove left brindle installed"
  exit 1
fi
while read -r path; do
  case $path in
    */brindle*|*Brindle*) [ ! -e "$install$path" ] || { echo "left behind: $path"; exit 1; } ;;
  esac
done <"$results/files"
echo "apt remove brindle: nothing of it left"
