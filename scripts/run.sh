#!/usr/bin/env bash
# Installs what is missing and builds the client.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-dependencies.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build
echo
echo "Built the client's core library and tests in build/."
echo "The desktop program and its demo against a local stand-in provider are not built yet;"
echo "until they are, scripts/test.sh exercises what exists."
