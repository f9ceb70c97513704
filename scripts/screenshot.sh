#!/usr/bin/env bash
# Takes the README's screenshots under Xvfb with a real tray host (trayer): the demo's
# window after its first cycle, the tray icon's looks (not set up, working, failing) and
# the tooltip after a failed cycle. The failure is the stand-in gone before the next
# cycle, so this takes a little over two minutes. Needs a build in build/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-dependencies.sh imagemagick

work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; rm -rf "$work"' EXIT
export DISPLAY=:77 XDG_RUNTIME_DIR=$work
Xvfb $DISPLAY -screen 0 900x600x24 >/dev/null 2>&1 &
pids+=($!)
sleep 1
trayer --edge top --align right --widthtype request --height 32 --tint 0xdddddd \
  --transparent true --alpha 0 >/dev/null 2>&1 &
pids+=($!)

build/tools/standin/vorlin-standin --account demo2026:Demo-pass1:home >"$work/standin" &
standin=$!
pids+=($standin)
timeout 10 bash -c "until grep -q '^ca=' '$work/standin'; do sleep 0.1; done"
value() { sed -n "s/^$1=//p" "$work/standin"; }
build/tools/demo/vorlin-ipupdate-demo --settings "$work/settings" --api "$(value api)" \
  --ipv4 "$(value ipv4)" --ipv6 "$(value ipv6)" --ca "$(value ca)" 2>"$work/log" &
pids+=($!)

tray() { import -window root -crop 28x32+872+0 +repage "$work/$1.png"; }
sleep 0.6 # the demo presses Save after a second
tray not-set-up
timeout 20 bash -c "until grep -q 'Current IPv6 Address' '$work/log'; do sleep 0.2; done"
sleep 1.5 # the log view refreshes once a second
import -window root -crop 620x460+0+0 +repage docs/preferences-window.png
tray working

kill $standin
timeout 150 bash -c "until [ \$(grep -c 'update initiated' '$work/log') -ge 2 ]; do sleep 0.5; done"
sleep 2
tray failing
# Tooltips come after the pointer rests on the icon for a while.
xdotool mousemove 870 40 sleep 0.3 mousemove 884 14 sleep 0.3 mousemove 886 16
sleep 2.5
import -window root -crop 520x120+380+0 +repage docs/tooltip-after-failure.png
montage "$work/not-set-up.png" "$work/working.png" "$work/failing.png" -tile 3x1 -geometry 56x64+12+4 \
  -filter point -background white docs/tray-icon-looks.png
