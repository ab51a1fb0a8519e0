#!/usr/bin/env bash
# Sets up, builds and shows the bundled demo song.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh release
cmake --build --preset release -j2
DEMO=build/release/demo/sonfara-demo.mid
build/release/player/cli/sonfara-cli info "$DEMO"
echo
build/release/player/cli/sonfara-cli dump "$DEMO" --list 1 --page 1
