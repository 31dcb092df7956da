#!/usr/bin/env bash
# Builds a User-Mode Linux kernel with the ALSA sequencer (Midi Through, four virtual raw MIDI
# ports) built in, from Debian's linux-source-6.1, and prints the path of the kernel executable.
#
# The kernel is kept outside the checkout, in $TARNOVELLE_CACHE (default ~/.cache/tarnovelle),
# named by a hash of its configuration and of the kernel source's version: a second run with
# the same configuration only prints the path, a changed one builds a new kernel.
set -euo pipefail

cache="${TARNOVELLE_CACHE:-$HOME/.cache/tarnovelle}"
jobs="${JOBS:-$(nproc)}"

# Everything the sequencer tests need, built in (UML loads no modules). VIRTIO_UML and
# UML_PCI_OVER_VIRTIO bring INDIRECT_IOMEM, without which SOUND cannot be selected on ARCH=um;
# the device id only keeps the boot from warning about a missing one.
config_options=(
    "--enable VIRTIO_UML"
    "--enable UML_PCI_OVER_VIRTIO"
    "--set-val UML_PCI_OVER_VIRTIO_DEVICE_ID 1234"
    "--enable SOUND"
    "--enable SND"
    "--enable SND_SEQUENCER"
    "--enable SND_SEQ_DUMMY"
    "--enable SND_DRIVERS"
    "--enable SND_VIRMIDI"
    "--enable SND_RAWMIDI"
    "--enable SND_TIMER"
    "--enable SND_HRTIMER"
    "--enable SND_SEQ_HRTIMER_DEFAULT"
    "--enable HIGH_RES_TIMERS"
    "--enable HOSTFS"
    "--enable DEVTMPFS"
    "--enable DEVTMPFS_MOUNT"
    "--enable TMPFS"
    "--enable UNIX"
)

source_tarball=/usr/src/linux-source-6.1.tar.xz
# Bump when the way the kernel is made changes without a change of the options above.
recipe_version=1

install_missing() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    [ ${#missing[@]} -eq 0 ] && return
    local sudo_cmd=""
    [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
    export DEBIAN_FRONTEND=noninteractive
    $sudo_cmd apt-get update -q >&2
    $sudo_cmd apt-get install -y -q --no-install-recommends "${missing[@]}" >&2
}
install_missing linux-source-6.1 flex bison bc xz-utils

source_version=$(dpkg-query -W -f='${Version}' linux-source-6.1)
hash=$(printf '%s\n' "$recipe_version" "$source_version" "${config_options[@]}" | sha256sum | cut -c1-16)
kernel="$cache/linux-alsa-um-$hash"

if [ -x "$kernel" ]; then
    echo "$kernel"
    exit 0
fi

# One build at a time; whoever waited finds the kernel the other one built.
mkdir -p "$cache"
exec 9>"$cache/linux-alsa-um-$hash.lock"
flock 9
if [ -x "$kernel" ]; then
    echo "$kernel"
    exit 0
fi

work="$cache/build-$hash"
rm -rf "$work"
mkdir -p "$work"
echo "Building the ALSA guest kernel in $work (about 15 minutes on 2 cores)" >&2

tar -xJf "$source_tarball" -C "$work"
src="$work/linux-source-6.1"
cd "$src"

# sound/Kconfig keeps the whole ALSA menu away from ARCH=um; nothing in it needs real hardware.
sed -i -e '/^if !UML$/d' -e '/^endif # !UML$/d' sound/Kconfig

make ARCH=um defconfig >&2
for option in "${config_options[@]}"; do
    # shellcheck disable=SC2086  # each entry is an option and its arguments
    scripts/config $option
done
make ARCH=um olddefconfig >&2

# olddefconfig silently drops what it cannot satisfy: make sure every wanted option survived.
for option in "${config_options[@]}"; do
    read -r verb name value <<<"$option"
    line=$(grep -E "^CONFIG_${name}=" .config || true)
    case "$verb" in
        --enable) expected="CONFIG_${name}=y" ;;
        --set-val) expected="CONFIG_${name}=${value}" ;;
    esac
    if [ "$line" != "$expected" ]; then
        echo "Kernel configuration lost $name (wanted $expected, got '${line:-nothing}')" >&2
        exit 1
    fi
done

make ARCH=um -j"$jobs" linux >&2

# Installed under a temporary name and renamed, so a kernel of this name is always complete.
cp linux "$kernel.tmp.$$"
mv -f "$kernel.tmp.$$" "$kernel"
cp .config "$kernel.config"
cd /
rm -rf "$work"
echo "$kernel"
