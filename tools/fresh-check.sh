#!/bin/sh
# Release check on a fresh Debian, as a new user meets Brindle. Bootstraps a
# minimal root of the release (kept between runs), clones the current commit
# into a copy of it and runs the README's two commands there, printing each
# one's time. On trixie it then installs the built package with apt into
# another fresh copy, starts /usr/bin/brindle under Xvfb, downloads a file
# from a loopback server through the window, and removes the package again.
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
for package in debootstrap xvfb xauth xdotool imagemagick python3 git; do
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
server=""
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
  [ -z "$server" ] || kill "$server" 2>/dev/null || true
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

# fresh_root NAME: a new copy of the bootstrapped root, with the system
# folders and this machine's X socket mounted.
fresh_root() {
  root=$cache/$release-$1
  rm -rf "$root"
  cp -a "$base" "$root"
  cp /etc/resolv.conf "$root/etc/resolv.conf"
  mkdir -p "$root/tmp/.X11-unix"
  mount -t proc proc "$root/proc"
  mount --rbind /sys "$root/sys" && mount --make-rslave "$root/sys"
  mount --rbind /dev "$root/dev" && mount --make-rslave "$root/dev"
  mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"
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
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin ${DISPLAY:+DISPLAY=$DISPLAY} \
    sh -c "$*"
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

fresh_root work
work=$root
git clone -q "$repo" "$work/root/brindle"
git -C "$work/root/brindle" checkout -q "$commit"
echo "Debian $release: fresh root, Brindle at $commit"

# The first README command: set up, build and show the window.
start=$(date +%s)
inside "$work" 'cd /root/brindle && exec tools/run.sh' >"$results/run.log" 2>&1 &
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
if inside "$work" 'cd /root/brindle && unset DISPLAY && exec tools/test.sh' >"$results/test.log" 2>&1; then
  echo "tools/test.sh: passed in $(seconds "$start") s"
else
  echo "tools/test.sh: FAILED after $(seconds "$start") s (see $results/test.log)"
  tail -n 30 "$results/test.log"
  exit 1
fi
[ "$release" = trixie ] || exit 0

# The package, installed with apt into another fresh root.
inside "$work" 'cd /root/brindle/build && cpack -G DEB' >"$results/cpack.log"
fresh_root install
install=$root
cp "$work"/root/brindle/build/brindle_*.deb "$install/root/"
start=$(date +%s)
inside "$install" 'apt-get update -qq && apt-get install -y -qq /root/brindle_*.deb' >"$results/install.log" 2>&1
echo "apt install ./brindle_*.deb: $(seconds "$start") s"
inside "$install" 'dpkg -L brindle' >"$results/files"

mkdir -p "$results/site"
head -c 3000000 /dev/urandom >"$results/site/sample.bin"
python3 "$repo/tools/test_server.py" --root "$results/site" >"$results/port" &
server=$!
until [ -s "$results/port" ]; do sleep 0.1; done
address="127.0.0.1:$(head -n 1 "$results/port")/x/rate=1000000/sample.bin"
inside "$install" 'mkdir -p /root/dl && cd /root/dl && exec /usr/bin/brindle' >"$results/brindle.log" 2>&1 &
app=$!
win=$(window)
import -window "$win" "$results/installed.png"
xdotool mousemove --window "$win" 150 17 click 1 key End type "$address"
xdotool mousemove --window "$win" 312 16 click 1
for _ in $(seq 60); do
  cmp -s "$results/site/sample.bin" "$install/root/dl/sample.bin" && break
  sleep 1
done
sleep 1.5
import -window "$win" "$results/downloaded.png"
cmp "$results/site/sample.bin" "$install/root/dl/sample.bin"
echo "installed /usr/bin/brindle downloaded a file through its window ($results/downloaded.png)"
stop_inside "$install"
app=""

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
