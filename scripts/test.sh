#!/usr/bin/env bash
# Sets up, builds and runs every test of the release build.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh release
cmake --build --preset release -j2
export QT_QPA_PLATFORM=offscreen
ctest --preset release -j2
