#!/bin/sh
# Runs a test on a session bus of its own (private-bus.conf), in a home of its own, where
# GNOME Keyring's Secret Service runs with its login keyring unlocked, as a desktop login
# unlocks it.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
mkdir -m 700 "$home/run"
HOME=$home XDG_DATA_HOME=$home/data XDG_CONFIG_HOME=$home/config XDG_RUNTIME_DIR=$home/run \
  dbus-run-session --config-file="$here/private-bus.conf" -- sh -c '
    echo "login password" | gnome-keyring-daemon --unlock --components=secrets >/dev/null
    for attempt in $(seq 100); do
      dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets | grep -q true && break
      sleep 0.05
    done
    status=0
    "$@" || status=$?
    # A test that stops the keyring and dies before resuming it would leave it stopped for good.
    pkill -CONT -x gnome-keyring-d || true
    exit $status' sh "$@"
