#!/usr/bin/env bash
# Both programs in their steady state, this tree's beside another build's when given: the
# desktop program (its demo: settings saved, window closed, after a cycle) under Xvfb with a
# real tray host (trayer), and the companion's `run` on the stand-in after a cycle. Prints
# memory and wake-ups over an idle minute (bench/idle_figures.sh), fdatasync calls over two
# update cycles, and the time from set-account's end to the start of run's next cycle over 20
# wake-ups. Needs a build in build/ (the other one with the same targets) and takes about
# eight minutes.
#
#   sudo bench/steady_state.sh [other-build-dir]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-dependencies.sh strace
targets=(vorlin-ipupdate-demo vorlin-standin vorlin-ipupdated-on-standin)
cmake --build build --target "${targets[@]}" >/dev/null

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
export STANDIN_HOSTS="$(value api) $(value ipv4) $(value ipv6)" STANDIN_CA=$(value ca)
waitFor() { timeout 20 bash -c "until grep -q '$1' '$2' 2>/dev/null; do sleep 0.2; done"; }

# Starts a build's demo, waits for its first accepted update and closes its window with
# its Close button (bottom right); prints the process id.
startDesktop() {
  local name=$1 build=$2
  "$build/tools/demo/vorlin-ipupdate-demo" --settings "$work/$name" --api "$(value api)" \
    --ipv4 "$(value ipv4)" --ipv6 "$(value ipv6)" --ca "$(value ca)" >/dev/null 2>"$work/$name.log" &
  local pid=$!
  waitFor 'IP address updated' "$work/$name.log"
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

setAccount() {
  echo Demo-pass1 | "$2/tests/on-standin/vorlin-ipupdated" --settings-dir "$work/$1-companion" \
    set-account --username demo2026 --group home >/dev/null 2>&1
}

# Saves the account for a build's companion and starts its run; prints the process id once
# its first update went through.
startRun() {
  local name=$1 build=$2
  setAccount "$name" "$build"
  "$build/tests/on-standin/vorlin-ipupdated" --settings-dir "$work/$name-companion" run \
    >/dev/null 2>"$work/$name-run.log" &
  local pid=$!
  waitFor 'IP address updated' "$work/$name-run.log"
  echo "$pid"
}

# Waits, polling every $4 s, until the log holds more than $1 lines with the text $2; gives up
# after 30 s.
moreThan() {
  local deadline=$((SECONDS + 30))
  until [ "$(grep -c "$2" "$3")" -gt "$1" ]; do
    [ "$SECONDS" -lt "$deadline" ] || { echo "no further '$2' in $3" >&2 && exit 1; }
    sleep "$4"
  done
}

# Milliseconds from set-account's end to the start of run's next cycle, polled every 2 ms
# (0: the cycle began before set-account had ended); each wake-up comes 0.3 to 1.1 s into
# the wait after the previous cycle.
wakeUpTimes() {
  local name=$1 build=$2 log=$work/$1-run.log
  local begun='IP address update initiated.' ended='Server response'
  for _ in $(seq 20); do
    sleep "$(awk -v r="$RANDOM" 'BEGIN {print 0.3 + (r % 9) / 10}')"
    local before end
    before=$(grep -c "$begun" "$log")
    setAccount "$name" "$build"
    end=$(date +%s%N)
    moreThan "$before" "$begun" "$log" 0.002
    echo $((($(date +%s%N) - end) / 1000000))
    moreThan "$before" "$ended" "$log" 0.05
  done | sort -n | awk '{v[NR] = $1}
    END {print "median " v[int((NR + 1) / 2)] " ms, max " v[NR] " ms" (NR < 20 ? ", only " NR " of 20 measured" : "")}'
}

names=(this)
builds=(build)
if [ $# -ge 1 ]; then
  names+=(other)
  builds+=("$1")
fi
declare -A desktop run
for i in "${!names[@]}"; do
  desktop[${names[$i]}]=$(startDesktop "${names[$i]}" "${builds[$i]}")
  run[${names[$i]}]=$(startRun "${names[$i]}" "${builds[$i]}")
  pids+=("${desktop[${names[$i]}]}" "${run[${names[$i]}]}")
done
for name in "${names[@]}"; do echo "$name: desktop ${desktop[$name]}, run ${run[$name]}"; done

# Wake-ups first: strace's stops would count as wake-ups.
bench/idle_figures.sh 60 "${pids[@]:3}"

tracers=()
for name in "${names[@]}"; do
  for pid in "${desktop[$name]}" "${run[$name]}"; do
    strace -f -c -e trace=fdatasync -o "$work/$pid.strace" -p "$pid" 2>"$work/$pid.attach" &
    tracers+=($!)
  done
done
pids+=("${tracers[@]}")
sleep 250 # two cycles
kill -INT "${tracers[@]}" 2>/dev/null || true # a tracer that did not attach is gone already
wait "${tracers[@]}" || true
# strace -c writes its table as it detaches, and nothing when no call was made.
for name in "${names[@]}"; do
  for pid in "${desktop[$name]}" "${run[$name]}"; do
    calls=$(awk '$NF == "fdatasync" {n = $4} END {print n + 0}' "$work/$pid.strace")
    grep -q "Process $pid attached" "$work/$pid.attach" || calls="no count (strace did not attach)"
    echo "$name, process $pid: $calls fdatasync calls over two cycles (250 s)"
  done
done

for i in "${!names[@]}"; do
  echo "${names[$i]}: set-account to run's next cycle: $(wakeUpTimes "${names[$i]}" "${builds[$i]}")"
done
