#!/bin/sh
# Runs a test program as an ordinary user: as the caller when it is one, as nobody when
# it is root (root writes even read-only files). The program runs from a copy in a folder
# of its own, so the build folder's permissions do not matter.
#   run-unprivileged.sh PROGRAM [ARGUMENT...]
set -eu
if [ "$(id -u)" -ne 0 ]; then
  exec "$@"
fi
program=$1
shift
folder=$(mktemp -d -p /tmp vorlin-unprivileged.XXXXXX)
trap 'rm -rf "$folder"' EXIT
cp "$program" "$folder/"
mkdir "$folder/tmp"
chmod 755 "$folder"
chmod 1777 "$folder/tmp"
cd "$folder"
TMPDIR="$folder/tmp" setpriv --reuid=nobody --regid=nogroup --clear-groups \
  "$folder/$(basename "$program")" "$@"
