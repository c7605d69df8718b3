#!/usr/bin/env bash
# Installs the built packages on this machine with apt, starts the installed viewer under Xvfb
# (without an argument, and with a demo skin archive as its argument), takes a screenshot of each,
# then purges the packages and checks that every file they brought is gone and the desktop
# caches forgot the skin type. Needs root. Usage: check-deb.sh DEB_DIR (screenshots land there).
set -euo pipefail
debs=$(cd "$1" && pwd)
[ "$(id -u)" -eq 0 ] || { echo "check-deb: run as root (apt installs the packages)"; exit 1; }
for tool in apt-get Xvfb import identify compare; do
  command -v $tool >/dev/null || { echo "check-deb: $tool is missing (packages apt, xvfb, imagemagick)"; exit 1; }
done
shopt -s nullglob
packages=("$debs"/veltrane_*.deb "$debs"/libpackage0_*.deb "$debs"/libpackage-dev_*.deb)
[ ${#packages[@]} -eq 3 ] || { echo "check-deb: expected three packages in $debs (make deb)"; exit 1; }
if dpkg -s veltrane >/dev/null 2>&1; then echo "check-deb: veltrane is installed already; remove it first"; exit 1; fi

work=$(mktemp -d)
xvfb_pid= viewer_pid=
cleanup() {
  for pid in $viewer_pid $xvfb_pid; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT
fail=0

# Every file below the folders a package may touch, except caches that triggers rewrite.
snapshot() {
  # Folders that do not exist yet make find complain; that is expected.
  { find /usr/bin /usr/include /usr/lib/*-linux-gnu /usr/share/applications /usr/share/icons/hicolor \
       /usr/share/man/man1 /usr/share/man/man3/tarrow_open.3.gz /usr/share/metainfo /usr/share/mime /usr/share/thumbnailers /usr/share/veltrane \
       /usr/share/doc/veltrane /usr/share/doc/libpackage0 /usr/share/doc/libpackage-dev \
       -xdev 2>/dev/null || true; } | sort
}
snapshot >"$work/before"

export DEBIAN_FRONTEND=noninteractive
apt-get install -y -q "${packages[@]}" >"$work/apt-install.log" 2>&1 ||
  { cat "$work/apt-install.log"; echo "check-deb: apt could not install the packages"; exit 1; }
echo "installed: $(dpkg-query -W -f '${Package} ${Version}  ' veltrane libpackage0 libpackage-dev)"

# What the packages installed, and what the desktop's triggers made of it.
[ -x /usr/bin/veltrane ] || { echo "no /usr/bin/veltrane"; fail=1; }
[ -f /usr/share/mime/application/x-veltrane-skin.xml ] || { echo "the MIME trigger did not register the skin type"; fail=1; }
if [ -f /usr/share/applications/mimeinfo.cache ]; then
  grep -q 'application/x-veltrane-skin=.*veltrane.desktop' /usr/share/applications/mimeinfo.cache ||
    { echo "the desktop database does not name veltrane for skins"; fail=1; }
fi
/usr/bin/tarrow --version >/dev/null || { echo "the installed tarrow does not run"; fail=1; }
pkg-config --exists veltrane-package || { echo "pkg-config does not find veltrane-package"; fail=1; }

# The installed viewer on a private X display, once as from the menu and once opened on a skin.
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=:$(cat "$work/display")
mkdir -p "$work/home" "$work/runtime"
chmod 700 "$work/runtime"
run_viewer() {  # name, arguments...
  local name=$1; shift
  HOME=$work/home XDG_RUNTIME_DIR=$work/runtime /usr/bin/veltrane "$@" >"$work/$name.out" 2>"$work/$name.err" &
  viewer_pid=$!
  sleep 4
  if ! kill -0 $viewer_pid 2>/dev/null; then
    echo "the installed viewer ($name) ended early:"; cat "$work/$name.err"; fail=1; viewer_pid=; return
  fi
  import -window root "$debs/installed-$name.png"
  kill $viewer_pid; wait $viewer_pid 2>/dev/null || true; viewer_pid=
  # A drawn screen has many colours; an empty X screen has one.
  local colours
  colours=$(identify -format %k "$debs/installed-$name.png")
  [ "$colours" -gt 50 ] || { echo "the screenshot $name shows $colours colours: nothing drawn"; fail=1; }
  if [ -s "$work/$name.err" ]; then echo "the viewer ($name) said:"; cat "$work/$name.err"; fi
  echo "screenshot: $debs/installed-$name.png ($colours colours)"
}
run_viewer plain
skin=$(ls /usr/share/veltrane/Skins/*.wsz | head -n1)
run_viewer archive "$skin"
grep -q '^veltrane:' "$work/archive.err" && { echo "the viewer refused $skin"; fail=1; }
# Started on the archive, the live windows show its skin instead of the built-in one.
different=$(compare -metric AE "$debs/installed-plain.png" "$debs/installed-archive.png" null: 2>&1 || true)
[ "${different%% *}" -gt 1000 ] 2>/dev/null ||
  { echo "started on $skin the screen looks as without it ($different pixels differ)"; fail=1; }

apt-get purge -y -q veltrane libpackage0 libpackage-dev >"$work/apt-purge.log" 2>&1 ||
  { cat "$work/apt-purge.log"; echo "check-deb: apt could not purge the packages"; fail=1; }
snapshot >"$work/after"
if ! diff "$work/before" "$work/after" >"$work/left"; then
  echo "the purge left the file system changed:"; cat "$work/left"; fail=1
fi
[ ! -e /usr/share/mime/application/x-veltrane-skin.xml ] || { echo "the skin type stays registered"; fail=1; }
if [ -f /usr/share/applications/mimeinfo.cache ] && grep -q veltrane /usr/share/applications/mimeinfo.cache; then
  echo "the desktop database still names veltrane"; fail=1
fi
dpkg -s veltrane >/dev/null 2>&1 && { echo "veltrane is still known to dpkg"; fail=1; }

[ $fail -eq 0 ] && echo "packages install, the viewer starts, and the purge leaves nothing behind"
exit $fail
