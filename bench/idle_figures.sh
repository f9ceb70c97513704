#!/usr/bin/env bash
# Memory and wake-ups per second of running processes over an idle stretch: resident,
# proportional (shared pages split among their users) and anonymous memory (heap and stacks,
# which do not depend on what else shares the libraries) from smaps_rollup, and the voluntary
# context switches of all their threads in /proc over the seconds: each a sleep that ended in
# a wake-up (preemptions by other load are not counted).
#   bench/idle_figures.sh [seconds] PID...
# e.g. next to each other, the companion's run and the desktop program after their first
# update cycle.
set -euo pipefail
seconds=$1
shift

switches() {
  cat /proc/"$1"/task/*/status |
    awk '/^voluntary_ctxt_switches/ {sum += $2} END {print sum}'
}

declare -A before
for pid in "$@"; do before[$pid]=$(switches "$pid"); done
sleep "$seconds"
memory() { awk -v key="$2:" '$1 == key {print $2}' /proc/"$1"/smaps_rollup; }
printf '%-8s %-28s %10s %10s %10s %12s %8s\n' pid program "RSS (KiB)" "PSS" "anonymous" \
  "wake-ups/s" threads
for pid in "$@"; do
  after=$(switches "$pid")
  printf '%-8s %-28s %10s %10s %10s %12s %8s\n' "$pid" \
    "$(tr '\0' ' ' </proc/"$pid"/cmdline | cut -c1-28)" \
    "$(memory "$pid" Rss)" "$(memory "$pid" Pss)" "$(memory "$pid" Anonymous)" \
    "$(awk -v a="$after" -v b="${before[$pid]}" -v s="$seconds" 'BEGIN {printf "%.2f", (a - b) / s}')" \
    "$(ls /proc/"$pid"/task | wc -l)"
done
