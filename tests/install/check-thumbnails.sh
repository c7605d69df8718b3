#!/usr/bin/env bash
# Thumbnails made by a real host: the freedesktop thumbnail service (Debian's tumbler) on a private
# D-Bus session bus, with private cache and data folders so it finds our MIME type and our
# thumbnailer entry (pointed at the built veltrane-preview), is asked for thumbnails of corpus
# skins. Each must appear in the thumbnail cache at the flavour's size with its Thumb::URI; a
# damaged skin gets none, and the service answers every request within the time limit.
# Usage: check-thumbnails.sh SOURCE_DIR BIN_DIR SKINS_CORPUS_DIR. Exit 77: skipped.
set -euo pipefail
source_dir=$(cd "$1" && pwd) bin=$(cd "$2" && pwd) corpus=$3
skip() { echo "skipped: $*"; exit 77; }
for tool in dbus-daemon dbus-monitor gdbus update-mime-database md5sum stdbuf; do
  command -v $tool >/dev/null || skip "$tool is missing (packages dbus-daemon, dbus-bin, libglib2.0-bin, shared-mime-info)"
done
tumblerd=$(ls /usr/lib/*/tumbler-1/tumblerd 2>/dev/null | head -n1 || true)
[ -x "$tumblerd" ] || skip "tumblerd is missing (package tumbler)"
[ -x "$bin/veltrane-preview" ] || skip "$bin/veltrane-preview is not built"
skins=(Paper-Amp.wsz TopazAmp1-2.wsz base-2.91.wsz)
for s in "${skins[@]}"; do [ -f "$corpus/$s" ] || skip "corpus skin $corpus/$s is missing"; done

work=$(mktemp -d)
bus_pid= tumbler_pid= monitor_pid=
cleanup() {
  for pid in $monitor_pid $tumbler_pid $bus_pid; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# Private folders: our MIME type compiled into its own database, the thumbnailer entry as
# installed but calling the built program.
mkdir -p "$work"/data/mime/packages "$work"/data/thumbnailers "$work"/cache "$work"/config "$work"/home "$work"/skins
cp "$source_dir/data/veltrane-skin.xml" "$work/data/mime/packages/"
update-mime-database "$work/data/mime" >/dev/null 2>&1
sed "s|veltrane-preview|$bin/veltrane-preview|g" "$source_dir/data/veltrane.thumbnailer" \
  >"$work/data/thumbnailers/veltrane.thumbnailer"
export XDG_DATA_DIRS=$work/data:/usr/local/share:/usr/share XDG_CACHE_HOME=$work/cache
export XDG_CONFIG_HOME=$work/config XDG_DATA_HOME=$work/home/.local/share HOME=$work/home

for s in "${skins[@]}"; do cp "$corpus/$s" "$work/skins/"; done
# Damaged skins: a cut-off archive and one that is no archive at all.
head -c 2000 "$corpus/${skins[0]}" >"$work/skins/cut.wsz"
head -c 5000 /dev/urandom >"$work/skins/noise.wsz"

dbus-daemon --session --fork --nopidfile --print-address=3 --print-pid=4 3>"$work/address" 4>"$work/bus.pid"
bus_pid=$(cat "$work/bus.pid")
export DBUS_SESSION_BUS_ADDRESS=$(cat "$work/address")
"$tumblerd" >"$work/tumbler.log" 2>&1 &
tumbler_pid=$!

name=org.freedesktop.thumbnails.Thumbnailer1
path=/org/freedesktop/thumbnails/Thumbnailer1
for _ in $(seq 100); do
  gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
    --method org.freedesktop.DBus.NameHasOwner $name 2>/dev/null | grep -q true && break
  sleep 0.1
done
# The service sends its signals to the caller alone, so they are overheard by a bus monitor.
stdbuf -oL dbus-monitor --session "type='signal',interface='$name'" >"$work/signals" 2>&1 &
monitor_pid=$!
sleep 0.5

uri() { echo "file://$work/skins/$1"; }
# True when the monitor saw signal MEMBER for request HANDLE whose body holds TEXT (any when empty).
signalled() {
  awk -v member="member=$1" -v handle="$2" -v text="$3" '
    /^signal / { if (inside && hit) found = 1; inside = index($0, member) > 0; first = 1; hit = 0; next }
    inside && first { first = 0; if ($2 != handle) inside = 0; else hit = (text == ""); next }
    inside && text != "" && index($0, "\"" text "\"") { hit = 1 }
    END { if (inside && hit) found = 1; exit !found }' "$work/signals"
}
fail=0
declare -A handles
# Queues the skins in one request of a flavour and waits for its Finished signal.
request() {
  local flavour=$1; shift
  local uris=() mimes=()
  for s in "$@"; do uris+=("'$(uri "$s")'"); mimes+=("'application/x-veltrane-skin'"); done
  local list mlist handle
  list=$(IFS=,; echo "[${uris[*]}]") mlist=$(IFS=,; echo "[${mimes[*]}]")
  handles[$flavour]=
  handle=$(gdbus call --session --dest $name --object-path $path --method $name.Queue \
             "$list" "$mlist" "$flavour" default 0 | sed -n 's/.*uint32 \([0-9]*\).*/\1/p')
  for _ in $(seq 300); do
    signalled Finished "$handle" "" && { handles[$flavour]=$handle; return 0; }
    sleep 0.1
  done
  echo "no Finished signal for the $flavour request $handle within 30 s"; fail=1
}

# Checks one cache entry: a PNG whose larger side is the flavour's size, naming the skin's URI.
check_thumbnail() {
  local skin=$1 flavour=$2 size=$3 u file w h
  u=$(uri "$skin")
  file=$XDG_CACHE_HOME/thumbnails/$flavour/$(printf %s "$u" | md5sum | cut -d' ' -f1).png
  [ -f "$file" ] || { echo "no $flavour thumbnail of $skin"; fail=1; return; }
  read -r w h < <(od -An -tu1 -j16 -N8 "$file" | awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
  [ "$w" -le "$size" ] && [ "$h" -le "$size" ] && { [ "$w" -eq "$size" ] || [ "$h" -eq "$size" ]; } ||
    { echo "$flavour thumbnail of $skin is ${w}x$h, not fitted to $size"; fail=1; }
  grep -aq "Thumb::URI.$u" "$file" || { echo "$flavour thumbnail of $skin lacks Thumb::URI $u"; fail=1; }
}

request normal "${skins[@]}" cut.wsz noise.wsz
request large "${skins[0]}"
for s in "${skins[@]}"; do check_thumbnail "$s" normal 128; done
check_thumbnail "${skins[0]}" large 256
for s in "${skins[@]}"; do
  signalled Ready "${handles[normal]}" "$(uri "$s")" || { echo "no Ready signal for $s"; fail=1; }
done
for s in cut.wsz noise.wsz; do
  if ls "$XDG_CACHE_HOME"/thumbnails/{normal,large}/"$(printf %s "$(uri $s)" | md5sum | cut -d' ' -f1)".png >/dev/null 2>&1; then
    echo "the damaged $s got a thumbnail"; fail=1
  fi
  signalled Error "${handles[normal]}" "$(uri $s)" || { echo "no Error signal for the damaged $s"; fail=1; }
done
kill -0 "$tumbler_pid" 2>/dev/null || { echo "the thumbnail service died"; fail=1; }

if [ $fail -ne 0 ]; then
  echo "--- signals"; cat "$work/signals"; echo "--- tumbler"; cat "$work/tumbler.log"
  exit 1
fi
echo "thumbnails made by tumbler for ${#skins[@]} skins, none for the damaged ones"
