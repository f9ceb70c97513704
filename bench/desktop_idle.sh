#!/usr/bin/env bash
# The desktop program in its steady state (settings saved, window closed, after a cycle)
# under Xvfb with a real tray host (trayer): wake-ups and CPU ticks over an idle minute, and
# fdatasync calls over two update cycles. Runs this tree's demo and, when given, another
# build's beside it in the same run (each against the same stand-in, with settings of its
# own). Needs a build in build/ and takes about five minutes.
#
#   sudo bench/desktop_idle.sh [other-build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-dependencies.sh strace
cmake --build build --target vorlin-ipupdate-demo vorlin-standin >/dev/null

work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; rm -rf "$work"' EXIT
export DISPLAY=:79 XDG_RUNTIME_DIR=$work
Xvfb $DISPLAY -screen 0 1024x768x24 >/dev/null 2>&1 &
pids+=($!)
sleep 1
trayer --edge top --align right --widthtype request --height 32 >/dev/null 2>&1 &
pids+=($!)
build/tools/standin/vorlin-standin --account demo2026:Demo-pass1:home >"$work/standin" &
pids+=($!)
timeout 10 bash -c "until grep -q '^ca=' '$work/standin'; do sleep 0.1; done"
value() { sed -n "s/^$1=//p" "$work/standin"; }

# Starts a build's demo, waits for its first accepted update and closes its window with
# its Close button (bottom right); prints the process id.
start() {
  local name=$1 build=$2
  "$build/tools/demo/vorlin-ipupdate-demo" --settings "$work/$name" --api "$(value api)" \
    --ipv4 "$(value ipv4)" --ipv6 "$(value ipv6)" --ca "$(value ca)" >/dev/null 2>"$work/$name.log" &
  local pid=$!
  timeout 20 bash -c "until grep -q 'IP address updated' '$work/$name.log'; do sleep 0.2; done"
  local window
  window=$(xdotool search --pid "$pid" --onlyvisible --name "Vorlin" | head -1)
  eval "$(xdotool getwindowgeometry --shell "$window")"
  for _ in 1 2 3 4 5; do
    sleep 1
    xdotool mousemove --window "$window" $((WIDTH - 50)) $((HEIGHT - 20)) click 1
    sleep 1
    if ! xdotool search --pid "$pid" --onlyvisible --name "Vorlin" 2>/dev/null |
      grep -qx "$window"; then
      echo "$pid"
      return
    fi
  done
  echo "$name: the window did not close" >&2
  exit 1
}

# Voluntary context switches of all of a process's threads: each one a sleep that ended in a
# wake-up (preemptions by other load are not counted).
switches() { cat /proc/"$1"/task/*/status | awk '/^voluntary_ctxt_switches/ {n += $2} END {print n}'; }
ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

names=(this)
builds=(build)
if [ $# -ge 1 ]; then
  names+=(other)
  builds+=("$1")
fi
declare -A pid
for i in "${!names[@]}"; do
  pid[${names[$i]}]=$(start "${names[$i]}" "${builds[$i]}")
  pids+=("${pid[${names[$i]}]}")
done

# Wake-ups first: strace's stops would count as wake-ups.
declare -A switches0 ticks0
for name in "${names[@]}"; do
  switches0[$name]=$(switches "${pid[$name]}")
  ticks0[$name]=$(ticks "${pid[$name]}")
done
sleep 60
for name in "${names[@]}"; do
  echo "$name: $(($(switches "${pid[$name]}") - switches0[$name])) wake-ups in 60 s," \
    "$(($(ticks "${pid[$name]}") - ticks0[$name])) CPU ticks ($(getconf CLK_TCK)/s)"
done

for name in "${names[@]}"; do
  strace -f -c -e trace=fdatasync -o "$work/$name.strace" -p "${pid[$name]}" 2>/dev/null &
  pids+=($!)
done
sleep 250 # two cycles
pkill -INT -f "strace -f -c -e trace=fdatasync" || true
sleep 1
for name in "${names[@]}"; do
  calls=$(awk '/fdatasync/ {print $4}' "$work/$name.strace")
  echo "$name: ${calls:-0} fdatasync calls over two cycles (250 s)"
done
