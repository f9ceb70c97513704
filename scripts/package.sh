#!/usr/bin/env bash
# Installs what is missing, builds the client for /usr and makes its Debian package:
#   build-package/vorlin-ipupdate_<version>_<arch>.deb
# Install it with: sudo apt-get install ./build-package/vorlin-ipupdate_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-dependencies.sh dpkg-dev file

cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF \
  -DCMAKE_INSTALL_PREFIX=/usr
cmake --build build-package
(cd build-package && cpack)
ls build-package/*.deb
