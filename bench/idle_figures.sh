#!/usr/bin/env bash
# Resident memory and wake-ups per second of running processes over an idle stretch: the
# context switches of all their threads (voluntary and not) in /proc, over the seconds.
#   bench/idle_figures.sh [seconds] PID...
# e.g. next to each other, the companion's run and the desktop program after their first
# update cycle.
set -euo pipefail
seconds=$1
shift

switches() {
  cat /proc/"$1"/task/*/status |
    awk '/^(voluntary|nonvoluntary)_ctxt_switches/ {sum += $2} END {print sum}'
}

declare -A before
for pid in "$@"; do before[$pid]=$(switches "$pid"); done
sleep "$seconds"
printf '%-8s %-28s %10s %14s %8s\n' pid program "RSS (KiB)" "wake-ups/s" threads
for pid in "$@"; do
  after=$(switches "$pid")
  printf '%-8s %-28s %10s %14s %8s\n' "$pid" "$(tr '\0' ' ' </proc/"$pid"/cmdline | cut -c1-28)" \
    "$(awk '/VmRSS/ {print $2}' /proc/"$pid"/status)" \
    "$(awk -v a="$after" -v b="${before[$pid]}" -v s="$seconds" 'BEGIN {printf "%.2f", (a - b) / s}')" \
    "$(ls /proc/"$pid"/task | wc -l)"
done
