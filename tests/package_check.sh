#!/bin/sh
# Usage: package_check.sh BUILD_DIR CMAKE CPACK
# Installs the build into a scratch prefix, and the .deb made by CPack into a scratch root,
# and checks that each holds the programs, the firmware file beside the application, working
# launchers, the desktop entries and the icon.
set -eu

build=$1
cmake=$2
cpack=$3
firmware=Tarnovelle_Firmware_Release_V1.0.3.2.tvk

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

for f in TarnovelleConnection TarnovelleConnectionDemo tarnovelle-emulator "$firmware"; do
    [ -f "$build/bin/$f" ] || fail "$build/bin/$f is not built; build the default target first"
done

is_elf() {
    [ "$(od -An -c -N4 "$1" | tr -d ' ')" = '177ELF' ]
}

# The application looks for the firmware file beside the path it was started by: a launcher
# must start it by its real path, however the launcher itself was reached.
check_launcher() {
    prefix=$1
    launcher=$2
    target=$3

    [ -x "$prefix/bin/$launcher" ] || fail "bin/$launcher missing or not executable"

    # A copy of the tree whose program only tells how it was started.
    copy=$scratch/launch
    rm -rf "$copy"
    mkdir -p "$copy"
    copy=$(readlink -f "$copy")
    cp -R "$prefix/bin" "$prefix/lib" "$copy/"
    printf '#!/bin/sh\necho "started $0 $*"\n' > "$copy/lib/tarnovelle-connection/$target"
    chmod +x "$copy/lib/tarnovelle-connection/$target"
    ln -s "$copy/bin/$launcher" "$copy/link-to-launcher"

    expected="started $copy/bin/../lib/tarnovelle-connection/$target one two"
    [ "$("$copy/bin/$launcher" one two)" = "$expected" ] || fail "$launcher started something else"
    [ "$("$copy/link-to-launcher" one two)" = "$expected" ] || fail "$launcher through a link started something else"
    [ "$(cd "$copy/bin" && PATH="$copy/bin:$PATH" "$launcher" one two)" = "$expected" ] \
        || fail "$launcher found through PATH started something else"
}

check_tree() {
    prefix=$1
    what=$2
    app=$prefix/lib/tarnovelle-connection

    for exe in "$app/TarnovelleConnection" "$app/TarnovelleConnectionDemo" "$prefix/bin/tarnovelle-emulator"; do
        [ -x "$exe" ] || fail "$what: $exe missing or not executable"
        is_elf "$exe" || fail "$what: $exe is not an ELF executable"
        if ldd "$exe" | grep -q "not found"; then
            fail "$what: $exe needs libraries that are not installed: $(ldd "$exe" | grep 'not found')"
        fi
    done

    cmp -s "$app/$firmware" "$build/bin/$firmware" || fail "$what: the firmware file beside the application differs"

    check_launcher "$prefix" tarnovelle-connection TarnovelleConnection
    check_launcher "$prefix" tarnovelle-connection-demo TarnovelleConnectionDemo

    # An installed program that needs no display.
    "$prefix/bin/tarnovelle-emulator" --help | grep -q -- "--state FILE" || fail "$what: tarnovelle-emulator --help"

    for entry in tarnovelle-connection tarnovelle-connection-demo; do
        desktop=$prefix/share/applications/$entry.desktop
        [ -f "$desktop" ] || fail "$what: $desktop missing"
        grep -qx "Exec=$entry" "$desktop" || fail "$what: $entry.desktop does not start bin/$entry"
        grep -qx "Icon=tarnovelle-connection" "$desktop" || fail "$what: $entry.desktop names another icon"
        if command -v desktop-file-validate > /dev/null; then
            desktop-file-validate "$desktop" || fail "$what: $entry.desktop is not a valid desktop entry"
        fi
    done

    icon=$prefix/share/icons/hicolor/256x256/apps/tarnovelle-connection.png
    [ -f "$icon" ] || fail "$what: icon missing"
    # PNG signature, then the IHDR chunk: width and height, four bytes each, big-endian.
    [ "$(od -An -tx1 -N8 "$icon" | tr -d ' ')" = "89504e470d0a1a0a" ] || fail "$what: the icon is not a PNG"
    [ "$(od -An -tu1 -j16 -N8 "$icon" | tr -s ' ')" = " 0 0 1 0 0 0 1 0" ] || fail "$what: the icon is not 256 x 256"

    echo "$what: every file in its place"
}

# 1. cmake --install into a scratch prefix.
"$cmake" --install "$build" --prefix "$scratch/prefix" > "$scratch/install.log" || {
    cat "$scratch/install.log"
    fail "cmake --install failed"
}
check_tree "$scratch/prefix" "cmake --install"

# 2. The Debian package, built into a scratch folder and unpacked.
if ! command -v dpkg-deb > /dev/null; then
    echo "no dpkg-deb: the Debian package is not checked"
    exit 0
fi

(cd "$scratch" && "$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/deb") > "$scratch/cpack.log" 2>&1 || {
    cat "$scratch/cpack.log"
    fail "cpack -G DEB failed"
}

deb=$(ls "$scratch"/deb/*.deb)
dpkg-deb -x "$deb" "$scratch/root"
check_tree "$scratch/root/usr" "$(basename "$deb")"

[ "$(dpkg-deb -f "$deb" Package)" = "tarnovelle-connection" ] || fail "package name"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libasound2 libfreetype6 libfontconfig1 libpng16-16 libjpeg62-turbo zlib1g libx11-6 libxext6 \
    libxrandr2 libxinerama1 libxcursor1; do
    echo "$depends" | grep -q "$library" || fail "the package does not depend on $library: $depends"
done

# Nothing outside /usr, and nothing from the build or the tests.
if dpkg-deb -c "$deb" | awk '{print $6}' | grep -v '^\./usr/' | grep -qv '^\./$'; then
    fail "files outside /usr: $(dpkg-deb -c "$deb" | awk '{print $6}' | grep -v '^\./usr/')"
fi
if dpkg-deb -c "$deb" | grep -q "tests\|benchmark\|bare_window\|artwork\|make_firmware"; then
    fail "build tools or tests in the package"
fi

echo "$(basename "$deb"): depends on $depends"
