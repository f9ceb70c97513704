#!/usr/bin/env bash
# Takes the README's screenshot: the demo's window under Xvfb after its first cycle.
# Needs the packages xvfb and imagemagick, and a build in build/.
set -euo pipefail
cd "$(dirname "$0")/.."

work=$(mktemp -d)
Xvfb :77 -screen 0 900x600x24 >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; kill $demo 2>/dev/null; rm -rf "$work"' EXIT
sleep 1
DISPLAY=:77 XDG_RUNTIME_DIR=$work build/tools/demo/vorlin-ipupdate-demo \
  --settings "$work/settings" 2>"$work/log" &
demo=$!
timeout 20 bash -c "until grep -q 'Current IPv6 Address' '$work/log'; do sleep 0.2; done"
sleep 1.5 # the log view refreshes once a second
DISPLAY=:77 import -window root -crop 620x460+0+0 +repage docs/preferences-window.png
