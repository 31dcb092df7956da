#!/usr/bin/env bash
# Installs what building, running and testing need on Debian 12, only when something is missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config ccache git python3
    juce-modules-source libasound2-dev libfreetype-dev libfontconfig1-dev
    libpng-dev libjpeg-dev zlib1g-dev
    libx11-dev libxrandr-dev libxinerama-dev libxcursor-dev libxext-dev libxcomposite-dev libgl-dev
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    xvfb xauth xdotool x11-utils imagemagick fonts-dejavu-core
    clang-14 libclang-rt-14-dev
    alsa-utils
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo_cmd=""
    [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo_cmd apt-get update -q
    $sudo_cmd apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
