#!/usr/bin/env bash
# Figures of the program as installed, built with loopback hosts (vorlin-ipupdate-loopback)
# and run against the stand-in, whose authority is put into the system's certificate store for
# the run (so as root; the store is restored on exit). Under Xvfb, each start sampled a few
# seconds after it began:
#   CPU per cycle: a start with saved settings, which runs one update cycle, minus a start
#                  without settings;
#   RSS:           the first run (no settings, window open) and the steady state (saved,
#                  after a cycle), next to the floor program of bench/startup_benchmark.sh.
#
#   sudo bench/installed_figures.sh [build-dir] [starts]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
starts=${2:-7}
settle=4 # seconds from start to sample: the cycle is over, the program idle

command -v Xvfb >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq xvfb >/dev/null
cmake --build "$build" --target vorlin-ipupdate-loopback startup_floor vorlin-standin \
  vorlin-ipupdate-demo >/dev/null

work=$(mktemp -d)
authority=/usr/local/share/ca-certificates/vorlin-bench-authority.crt
pids=()
cleanUp() {
  kill "${pids[@]}" 2>/dev/null || true
  if [ -e "$authority" ]; then
    rm -f "$authority"
    update-ca-certificates --fresh >/dev/null 2>&1
  fi
  rm -rf "$work"
}
trap cleanUp EXIT
Xvfb :79 -screen 0 1024x768x24 >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=:79
unset DBUS_SESSION_BUS_ADDRESS

# The stand-in on the ports the loopback program was built with, trusted by the system's store.
"$build/tools/standin/vorlin-standin" --ports 47451,47452,47453 \
  --account demo2026:Demo-pass1:home --ca-file "$work/ca.pem" >"$work/standin.out" &
pids+=($!)
until grep -q '^ca=' "$work/standin.out" 2>/dev/null; do sleep 0.1; done
cp "$work/ca.pem" "$authority"
update-ca-certificates >/dev/null 2>&1

# Saved settings as Save leaves them: the demo's, from a settings folder of its own.
mkdir -m 700 "$work/demo-runtime"
XDG_RUNTIME_DIR=$work/demo-runtime QT_QPA_PLATFORM=offscreen \
  "$build/tools/demo/vorlin-ipupdate-demo" --settings "$work/demo-settings" 2>"$work/demo.log" &
demo=$!
until grep -q 'Settings have been saved.' "$work/demo.log"; do sleep 0.1; done
kill "$demo"
wait "$demo" 2>/dev/null || true
saved=$work/demo-settings/Vorlin/IPUpdateClient.conf

cpu_ms() { awk -v hz="$(getconf CLK_TCK)" '{print ($14 + $15) * 1000 / hz}' "/proc/$1/stat"; }
rss_kib() { awk '/VmRSS/ {print $2}' "/proc/$1/status"; }

# Starts the program in a home of its own, with the saved settings when asked; prints
# "<CPU ms> <RSS KiB>" after $settle seconds and ends it.
sample() {
  local program=$1 settings=$2 home
  home=$(mktemp -d -p "$work")
  mkdir -p "$home/config/Vorlin" && mkdir -m 700 "$home/runtime"
  [ "$settings" = saved ] && cp "$saved" "$home/config/Vorlin/"
  XDG_CONFIG_HOME=$home/config XDG_RUNTIME_DIR=$home/runtime "$program" 2>"$home/log" &
  local pid=$!
  sleep "$settle"
  echo "$(cpu_ms $pid) $(rss_kib $pid)"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  if [ "$settings" = saved ] && ! grep -q 'IP address updated' "$home/log"; then
    echo "no cycle went through: $(cat "$home/log")" >&2
    exit 1
  fi
}

# Starts each kind in turn, so that the machine's load falls alike on all.
client=$build/bench/vorlin-ipupdate-loopback
for _ in $(seq "$starts"); do
  sample "$client" none >>"$work/first-run"
  sample "$client" saved >>"$work/saved"
  sample "$build/bench/startup_floor" none >>"$work/floor"
done

mean() { awk -v c="$1" '{s += $c} END {printf "%.1f", s / NR}' "$2"; }
median() { cut -d' ' -f"$1" "$2" | sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }

floor_rss=$(median 2 "$work/floor")
printf 'CPU per cycle: %s ms (mean of %s starts: %s ms with saved settings, %s ms without)\n' \
  "$(awk -v a="$(mean 1 "$work/saved")" -v b="$(mean 1 "$work/first-run")" 'BEGIN {printf "%.1f", a - b}')" \
  "$starts" "$(mean 1 "$work/saved")" "$(mean 1 "$work/first-run")"
for kind in first-run saved floor; do
  rss=$(median 2 "$work/$kind")
  printf 'RSS %-10s %8s KiB  %.2fx the floor\n' "$kind" "$rss" \
    "$(awk -v r="$rss" -v f="$floor_rss" 'BEGIN {print r / f}')"
done
