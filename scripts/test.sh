#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through CTest.
#   scripts/test.sh [build-dir] [extra cmake arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-dependencies.sh
build_dir=${1:-build}
shift || true
# For /usr, as the packages are: the systemd box installs one made from this build.
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=/usr "$@"
cmake --build "$build_dir"
ctest --test-dir "$build_dir" --output-on-failure ${CTEST_ARGS:-}
