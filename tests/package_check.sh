#!/bin/sh
# Usage: package_check.sh BUILD_DIR CMAKE CPACK FIRMWARE_FILE_NAME
# Installs the build into a scratch prefix, and the .deb made by CPack into a scratch root,
# and checks that each holds the programs, the firmware file beside the application, working
# launchers, the desktop entries and the icon.
set -eu

build=$1 cmake=$2 cpack=$3 firmware=$4
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

fail() { echo "FAIL: $*" >&2; exit 1; }

for f in TarnovelleConnection TarnovelleConnectionDemo tarnovelle-emulator "$firmware"; do
    [ -f "$build/bin/$f" ] || fail "$build/bin/$f is not built; build the default target first"
done

# A launcher starts the program installed beside it, however the launcher itself was reached
# (directly, through a link, through PATH); the program then finds the firmware file beside its
# own real path. Tried on a copy of the tree whose program only tells how it was started.
check_launcher() {
    copy=$(mkdir "$scratch/launch" && readlink -f "$scratch/launch")
    cp -R "$1/bin" "$1/lib" "$copy/"
    printf '#!/bin/sh\necho "started $0 $*"\n' > "$copy/lib/tarnovelle-connection/$3"
    chmod +x "$copy/lib/tarnovelle-connection/$3"
    ln -s "$copy/bin/$2" "$copy/link-to-launcher"
    expected="started $copy/bin/../lib/tarnovelle-connection/$3 one two"
    for way in "$copy/bin/$2" "$copy/link-to-launcher" "$2"; do
        [ "$(cd "$copy/bin" && PATH="$copy/bin:$PATH" "$way" one two)" = "$expected" ] \
            || fail "$way started something else"
    done
    rm -rf "$copy"
}

check_tree() {
    prefix=$1 what=$2 app=$1/lib/tarnovelle-connection
    for exe in "$app/TarnovelleConnection" "$app/TarnovelleConnectionDemo" "$prefix/bin/tarnovelle-emulator"; do
        [ -x "$exe" ] && ldd "$exe" > "$scratch/ldd" || fail "$what: $exe missing, not executable or not a program"
        ! grep "not found" "$scratch/ldd" || fail "$what: $exe needs libraries that are not installed"
    done
    cmp -s "$app/$firmware" "$build/bin/$firmware" || fail "$what: the firmware file beside the application differs"
    check_launcher "$prefix" tarnovelle-connection TarnovelleConnection
    check_launcher "$prefix" tarnovelle-connection-demo TarnovelleConnectionDemo
    "$prefix/bin/tarnovelle-emulator" --help | grep -q -- "--state FILE" || fail "$what: tarnovelle-emulator --help"

    for entry in tarnovelle-connection tarnovelle-connection-demo; do
        desktop=$prefix/share/applications/$entry.desktop
        grep -qx "Exec=$entry" "$desktop" || fail "$what: $entry.desktop missing or not starting bin/$entry"
        grep -qx "Icon=tarnovelle-connection" "$desktop" || fail "$what: $entry.desktop names another icon"
        ! command -v desktop-file-validate > /dev/null || desktop-file-validate "$desktop" \
            || fail "$what: $entry.desktop is not a valid desktop entry"
    done

    # The plug-in's bundles, where the hosts look; an LV2 host finds the plug-in there.
    lv2="$prefix/lib/lv2/Tarnovelle Recall.lv2"
    [ -f "$lv2/manifest.ttl" ] && [ -f "$lv2/libTarnovelle Recall.so" ] || fail "$what: the LV2 bundle is incomplete"
    [ -f "$prefix/lib/vst3/Tarnovelle Recall.vst3/Contents/x86_64-linux/Tarnovelle Recall.so" ] \
        || fail "$what: the VST3 bundle is incomplete"
    ! command -v lv2info > /dev/null || LV2_PATH="$prefix/lib/lv2" lv2info urn:tarnovelle:recall | grep -q "Name: *Tarnovelle Recall" \
        || fail "$what: lv2info does not find the installed plug-in"

    # PNG signature, then the IHDR chunk: width and height, four bytes each, big-endian.
    icon=$prefix/share/icons/hicolor/256x256/apps/tarnovelle-connection.png
    [ "$(od -An -tx1 -N24 "$icon" | tr -d ' \n')" = "89504e470d0a1a0a0000000d494844520000010000000100" ] \
        || fail "$what: the icon is missing, not a PNG or not 256 x 256"
    echo "$what: every file in its place"
}

"$cmake" --install "$build" --prefix "$scratch/prefix" > "$scratch/install.log" \
    || { cat "$scratch/install.log"; fail "cmake --install failed"; }
check_tree "$scratch/prefix" "cmake --install"

command -v dpkg-deb > /dev/null || { echo "no dpkg-deb: the Debian package is not checked"; exit 0; }
(cd "$scratch" && "$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/deb") > "$scratch/cpack.log" 2>&1 \
    || { cat "$scratch/cpack.log"; fail "cpack -G DEB failed"; }
deb=$(ls "$scratch"/deb/*.deb)
dpkg-deb -x "$deb" "$scratch/root"
check_tree "$scratch/root/usr" "$(basename "$deb")"

[ "$(dpkg-deb -f "$deb" Package)" = "tarnovelle-connection" ] || fail "package name"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libasound2 libfreetype6 libfontconfig1 libpng16-16 libjpeg62-turbo zlib1g libsqlite3-0 libx11-6 libxext6 \
    libxrandr2 libxinerama1 libxcursor1; do
    echo "$depends" | grep -q "$library" || fail "the package does not depend on $library: $depends"
done
# Nothing outside /usr, and nothing from the build or the tests.
! dpkg-deb -c "$deb" | awk '{print $6}' | grep -v '^\./$' | grep -v '^\./usr/' || fail "files outside /usr"
! dpkg-deb -c "$deb" | grep "tests\|benchmark\|bare_window\|artwork\|make_firmware" \
    || fail "build tools or tests in the package"
echo "$(basename "$deb"): depends on $depends"
