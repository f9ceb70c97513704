#!/usr/bin/env bash
# Installs what is missing, builds the client for /usr and makes its Debian package:
#   build-package/vorlin-ipupdate_<version>_<arch>.deb
# Install it with: sudo apt-get install ./build-package/vorlin-ipupdate_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-dependencies.sh
missing=()
for package in dpkg-dev file; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
    missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  as_root=()
  [ "$(id -u)" -eq 0 ] || as_root=(sudo)
  DEBIAN_FRONTEND=noninteractive "${as_root[@]}" apt-get install -y -qq "${missing[@]}"
fi

cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr
cmake --build build-package
(cd build-package && cpack)
ls build-package/*.deb
