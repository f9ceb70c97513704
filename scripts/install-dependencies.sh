#!/usr/bin/env bash
# Installs the Debian 12 packages the client, its tests and its demo need, and any more
# given as arguments; skips what is already there. Run as root or through sudo.
#   scripts/install-dependencies.sh [package ...]
set -euo pipefail

packages=(
  build-essential cmake ninja-build clang-format
  qt6-base-dev qt6-base-dev-tools libgl-dev libqt6svg6
  libssl-dev openssl libcurl4-openssl-dev ca-certificates
  desktop-file-utils
  xvfb trayer xdotool x11-utils libxcb1-dev python3-gi gir1.2-glib-2.0
  util-linux iproute2
  dbus-daemon dbus-session-bus-common
  libsystemd-dev pkg-config
  qtkeychain-qt6-dev libsecret-1-0 gnome-keyring
  systemd strace dpkg-dev file
  python3-prometheus-client
  "$@"
)

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
echo "Installing: ${missing[*]}"
"${as_root[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq --no-install-recommends \
  "${missing[@]}"
