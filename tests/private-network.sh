#!/bin/sh
# Runs a test in a network namespace of its own, with loopback up, where it can have one (as
# root): the ports compiled into the loopback program are then free whatever else runs, such
# as a second suite beside this one. Elsewhere the test runs as it is.
if [ "$(id -u)" -eq 0 ] && unshare --net true 2>/dev/null; then
  exec unshare --net sh -c 'ip link set lo up && exec "$@"' sh "$@"
fi
exec "$@"
