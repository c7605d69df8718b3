#!/usr/bin/env bash
# The AppStream metadata the build configures passes appstreamcli's validation (offline: the
# machine cannot reach the screenshot's address), and the screenshot it describes is the PNG the
# build made, with the width and height it states.
set -euo pipefail
build=$1
if ! command -v appstreamcli >/dev/null; then echo "appstreamcli missing (package appstream): skipped"; exit 77; fi
metainfo=$(ls "$build"/metainfo/*.metainfo.xml)
appstreamcli validate --no-net --explain "$metainfo"

url=$(sed -n 's:.*<image type="source"[^>]*>\(.*\)</image>.*:\1:p' "$metainfo")
width=$(sed -n 's:.*<image type="source" width="\([0-9]*\)".*:\1:p' "$metainfo")
height=$(sed -n 's:.*<image type="source"[^>]*height="\([0-9]*\)".*:\1:p' "$metainfo")
shot=$build/screenshots/${url##*/}
[ -f "$shot" ] || { echo "the build made no screenshot $shot for $url"; exit 1; }
# Width and height are the big-endian words at bytes 16 and 20 of a PNG.
read -r w h < <(od -An -tu1 -j16 -N8 "$shot" | awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
[ "$w" = "$width" ] && [ "$h" = "$height" ] || { echo "screenshot is ${w}x$h, the metadata says ${width}x$height"; exit 1; }
# Both languages describe the program.
grep -q '<p xml:lang="de">' "$metainfo" && grep -q '<p>' "$metainfo" || { echo "a description language is missing"; exit 1; }
echo "metadata valid, screenshot ${w}x$h"
