#!/usr/bin/env bash
# Figures of the program as installed, built with loopback hosts (vorlin-ipupdate-loopback)
# and run against the stand-in, whose authority goes into a private copy of the system's
# certificate store (a mount namespace of the script's own, so as root; the machine's store
# and its hooks' stores are never touched). Under Xvfb with trayer as the tray, each start is
# sampled a few seconds after it began: RSS and private memory (Private_Clean + Private_Dirty)
# at a first run (no settings, window open) and in the steady state (saved, window hidden,
# after a cycle), next to the floor program of bench/startup_benchmark.sh, alone and after
# one HTTPS request through libcurl. (A cycle's CPU time is bench/cycle_benchmark's figure.)
# Given a second build, its program is sampled in the same run, in turn with this one's.
#
#   sudo bench/installed_figures.sh [build-dir] [starts] [earlier-build-dir]
set -euo pipefail
# Into a mount namespace of its own, unless already out of the machine's.
if [ "$(readlink /proc/self/ns/mnt)" = "$(readlink /proc/1/ns/mnt)" ]; then
  exec unshare --mount --propagation private "$(realpath "$0")" "$@"
fi
cd "$(dirname "$0")/.."
build=${1:-build}
starts=${2:-7}
earlier=${3:-}
settle=4 # seconds from start to sample: the cycle is over, the program idle

scripts/install-dependencies.sh xvfb trayer
cmake --build "$build" --target vorlin-ipupdate-loopback startup_floor vorlin-standin \
  vorlin-ipupdate-demo >/dev/null
[ -z "$earlier" ] || cmake --build "$earlier" --target vorlin-ipupdate-loopback >/dev/null

work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; rm -rf "$work"' EXIT
Xvfb :77 -screen 0 1024x768x24 >/dev/null 2>&1 &
pids+=($!)
export DISPLAY=:77
unset DBUS_SESSION_BUS_ADDRESS
sleep 1
trayer --edge top --align right --widthtype request --height 32 >/dev/null 2>&1 &
pids+=($!)

# The stand-in on the ports the loopback program was built with, trusted by the private store.
"$build/tools/standin/vorlin-standin" --ports 47451,47452,47453 \
  --account demo2026:Demo-pass1:home --ca-file "$work/ca.pem" >"$work/standin.out" &
pids+=($!)
until grep -q '^ca=' "$work/standin.out" 2>/dev/null; do sleep 0.1; done
mkdir "$work/store" "$work/no-hooks"
cp -a /etc/ssl/certs/. "$work/store"
mount --bind "$work/store" /etc/ssl/certs
mount -t tmpfs none /usr/local/share/ca-certificates
cp "$work/ca.pem" /usr/local/share/ca-certificates/vorlin-bench-authority.crt
update-ca-certificates --hooksdir "$work/no-hooks" >/dev/null 2>&1

# Saved settings as Save leaves them: the demo's, from a settings folder of its own.
mkdir -m 700 "$work/demo-runtime"
XDG_RUNTIME_DIR=$work/demo-runtime QT_QPA_PLATFORM=offscreen \
  "$build/tools/demo/vorlin-ipupdate-demo" --settings "$work/demo-settings" 2>"$work/demo.log" &
demo=$!
until grep -q 'Settings have been saved.' "$work/demo.log"; do sleep 0.1; done
kill "$demo"
wait "$demo" 2>/dev/null || true
saved=$work/demo-settings/Vorlin/IPUpdateClient.conf

memory_kib() {
  awk '$1 == "Rss:" {rss = $2} $1 ~ /^Private_(Clean|Dirty):$/ {own += $2}
       END {print rss, own}' "/proc/$1/smaps_rollup"
}

# Starts a program in a home of its own, with the saved settings when asked; prints
# "<RSS KiB> <private KiB>" after $settle seconds and ends it.
sample() {
  local settings=$1 home
  shift
  home=$(mktemp -d -p "$work")
  mkdir -p "$home/config/Vorlin" && mkdir -m 700 "$home/runtime"
  [ "$settings" = saved ] && cp "$saved" "$home/config/Vorlin/"
  XDG_CONFIG_HOME=$home/config XDG_RUNTIME_DIR=$home/runtime "$@" 2>"$home/log" &
  local pid=$!
  sleep "$settle"
  memory_kib "$pid"
  kill "$pid"
  wait "$pid" 2>/dev/null || true
  if [ "$settings" = saved ] && ! grep -q 'IP address updated' "$home/log"; then
    echo "no cycle went through: $(cat "$home/log")" >&2
    exit 1
  fi
}

# Starts each kind in turn, so that the machine's load falls alike on all.
floor=$build/bench/startup_floor
versions=(this)
[ -n "$earlier" ] && versions+=(earlier)
program() { [ "$1" = this ] && echo "$build" || echo "$earlier"; }
for _ in $(seq "$starts"); do
  for version in "${versions[@]}"; do
    client=$(program "$version")/bench/vorlin-ipupdate-loopback
    sample none "$client" >>"$work/$version first-run"
    sample saved "$client" >>"$work/$version steady"
  done
  sample none "$floor" >>"$work/floor"
  sample none "$floor" https://localhost:47451/ >>"$work/floor+HTTPS"
done

median() { cut -d' ' -f"$1" "$2" | sort -n | awk '{v[NR] = $1} END {print v[int((NR + 1) / 2)]}'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN {printf "%.2f", a / b}'; }

printf '%-20s %9s %9s %8s %8s %12s %12s\n' "median of $starts" "RSS KiB" "private" \
  "RSS/fl" "priv/fl" "RSS/fl+TLS" "priv/fl+TLS"
for kind in "${versions[@]/%/ first-run}" "${versions[@]/%/ steady}" floor floor+HTTPS; do
  rss=$(median 1 "$work/$kind")
  own=$(median 2 "$work/$kind")
  printf '%-20s %9s %9s %8s %8s %12s %12s\n' "$kind" "$rss" "$own" \
    "$(ratio "$rss" "$(median 1 "$work/floor")")" "$(ratio "$own" "$(median 2 "$work/floor")")" \
    "$(ratio "$rss" "$(median 1 "$work/floor+HTTPS")")" \
    "$(ratio "$own" "$(median 2 "$work/floor+HTTPS")")"
done
