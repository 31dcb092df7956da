#!/usr/bin/env bash
# Installs what building, running and testing need on Debian 12, only when something is missing.
set -euo pipefail

# Each line: what it is for.
packages=(
    build-essential cmake ninja-build pkg-config ccache python3        # the build, the e2e tests
    juce-modules-source libasound2-dev libfreetype-dev libfontconfig1-dev  # JUCE and what it links
    libpng-dev libjpeg-dev zlib1g-dev
    libsqlite3-dev                                                     # the instrument's history (library/)
    # the X headers JUCE's windowing includes (XShm, XRandR, Xinerama, XRender, Xcomposite, Xcursor)
    libx11-dev libxext-dev libxrandr-dev libxinerama-dev libxrender-dev libxcomposite-dev libxcursor-dev
    libgtest-dev                                                       # the test suites
    xvfb xauth xdotool imagemagick fonts-dejavu-core                   # GUI and e2e tests, artwork
    zenity                                                             # the desktop's file chooser, driven by the e2e tests
    xsettingsd                                                         # the desktop scale test (XSETTINGS)
    clang-14 libclang-rt-14-dev                                        # the fuzz targets
    clang-format-14                                                    # the formatting check
    alsa-utils                                                         # the ALSA guest tests (aconnect, aseqdump)
    openttd-openmsx                                                    # real songs' MIDI files for the import tests
    lilv-utils jalv jackd2                                             # the plug-in in real LV2 hosts (lv2info, jalv on JACK's dummy driver)
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
