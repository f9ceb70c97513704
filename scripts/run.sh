#!/usr/bin/env bash
# Installs what is missing, builds, and runs the client's demo: the real program against a
# stand-in of the provider on this machine, with settings of its own (your real settings
# are not touched). It fills in the demo account and presses Save for you; the first update
# cycle follows within seconds. Without a display it runs offscreen and the activity shows
# here in the terminal. Stop it with Quit in its menu, or Ctrl+C.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-dependencies.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: running offscreen; the activity log follows."
  export QT_QPA_PLATFORM=offscreen
fi
exec build/tools/demo/vorlin-ipupdate-demo
