#!/usr/bin/env bash
# Start-up to window shown, resident memory after start-up and CPU time over an idle minute,
# for the client (a first run: its window opens at start) next to the floor program, both
# under Xvfb. Needs a build in build/ (scripts/test.sh or scripts/run.sh makes one).
#
#   sudo bench/startup_benchmark.sh [idle-seconds]
set -euo pipefail
cd "$(dirname "$0")/.."
idle=${1:-60}

command -v Xvfb >/dev/null && command -v xdotool >/dev/null ||
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq xvfb xdotool >/dev/null
cmake --build build --target vorlin-ipupdate startup_floor >/dev/null

work=$(mktemp -d)
Xvfb :78 -screen 0 1024x768x24 >/dev/null 2>&1 &
xvfb=$!
pids=()
trap 'kill "${pids[@]}" $xvfb 2>/dev/null; rm -rf "$work"' EXIT
sleep 1
export DISPLAY=:78 XDG_RUNTIME_DIR=$work

# Starts the program with a fresh config folder; prints "<pid> <ms to window shown>".
start() {
  local program=$1 title=$2 home
  home=$(mktemp -d -p "$work")
  local begin end
  begin=$(date +%s%N)
  XDG_CONFIG_HOME=$home "$program" 2>/dev/null &
  local pid=$!
  until xdotool search --onlyvisible --name "$title" >/dev/null 2>&1; do sleep 0.005; done
  end=$(date +%s%N)
  echo "$pid $(((end - begin) / 1000000))"
}

rss_kib() { awk '/VmRSS/ {print $2}' "/proc/$1/status"; }
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

measure() {
  local name=$1 program=$2 title=$3 times=() pid ms
  for _ in 1 2 3 4 5; do
    read -r pid ms < <(start "$program" "$title")
    times+=("$ms")
    kill "$pid"; wait "$pid" 2>/dev/null || true
  done
  read -r pid ms < <(start "$program" "$title")
  pids+=("$pid")
  sleep 2
  local median
  median=$(printf '%s\n' "${times[@]}" | sort -n | sed -n 3p)
  echo "$name $pid $median $(rss_kib "$pid") $(cpu_ticks "$pid")"
}

read -r _ client_pid client_ms client_rss client_cpu0 < <(measure client build/src/vorlin-ipupdate "Vorlin IP Update Client")
read -r _ floor_pid floor_ms floor_rss floor_cpu0 < <(measure floor build/bench/startup_floor "Floor window")
sleep "$idle"
hz=$(getconf CLK_TCK)
client_cpu=$(( $(cpu_ticks "$client_pid") - client_cpu0 ))
floor_cpu=$(( $(cpu_ticks "$floor_pid") - floor_cpu0 ))

printf '%-8s %14s %14s %22s\n' "" "to window (ms)" "RSS (KiB)" "CPU over ${idle} s idle"
for row in "client $client_ms $client_rss $client_cpu" "floor $floor_ms $floor_rss $floor_cpu"; do
  set -- $row
  printf '%-8s %14s %14s %12s ticks = %s %%\n' "$1" "$2" "$3" "$4" \
    "$(awk -v t="$4" -v hz="$hz" -v s="$idle" 'BEGIN {printf "%.3f", 100 * t / hz / s}')"
done
awk -v c="$client_rss" -v f="$floor_rss" 'BEGIN {printf "RSS client/floor: %.2f\n", c / f}'
