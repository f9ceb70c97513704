#!/usr/bin/env bash
# Starts an installed client offscreen with empty settings, checks that it prompts for an
# account on standard error, and that SIGTERM ends it with status 0.
#   scripts/check-installed-program.sh /usr/bin/vorlin-ipupdate
set -euo pipefail
program=$1
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -m 700 "$home/runtime"

QT_QPA_PLATFORM=offscreen XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/runtime" \
  "$program" 2>"$home/stderr" &
pid=$!
for _ in $(seq 100); do
  grep -q "Please enter your username and password." "$home/stderr" && break
  sleep 0.1
done
if ! grep -q "Please enter your username and password." "$home/stderr"; then
  echo "no first-run prompt from $program:" >&2
  cat "$home/stderr" >&2
  kill -KILL "$pid"
  exit 1
fi
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
echo "$program: first-run prompt shown, SIGTERM ended it with status $status"
exit "$status"
