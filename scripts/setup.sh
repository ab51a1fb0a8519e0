#!/usr/bin/env bash
# Installs every Debian package the project needs (idempotent) and configures
# the release build in build/release. Usage: scripts/setup.sh [preset...]
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
    build-essential cmake ninja-build pkg-config git
    clang libclang-rt-14-dev clang-format
    libgtest-dev libgmock-dev libbenchmark-dev
    libarchive-dev libuchardet-dev librtmidi-dev libfluidsynth-dev fluidsynth libsndfile1-dev
    qt6-base-dev qt6-qpa-plugins qt6-translations-l10n qt6-l10n-tools qt6-tools-dev fonts-ipafont-gothic
    xvfb xauth x11-utils xdotool imagemagick dbus pulseaudio pulseaudio-utils openbox
    timgm6mb-soundfont lhasa unifont
    zlib1g-dev libsqlite3-dev
    libasound2-dev time
    universal-ctags python3
    help2man lintian desktop-file-utils appstream shared-mime-info dpkg-dev libglib2.0-bin
)

missing=()
for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "setup: installing ${missing[*]}"
    SUDO=""
    if [ "$(id -u)" != 0 ]; then SUDO=sudo; fi
    export DEBIAN_FRONTEND=noninteractive
    $SUDO apt-get update -qq
    $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

presets=("$@")
if ((${#presets[@]} == 0)); then presets=(release); fi
for preset in "${presets[@]}"; do
    cmake --preset "$preset" >/dev/null
done
echo "setup: ready (${presets[*]})"
