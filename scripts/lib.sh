# Shared by the scripts: the Debian packages each needs and how to get them.
# shellcheck shell=bash

VELMORA_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

BUILD_PACKAGES="cmake ninja-build g++ libsdl1.2-compat libsdl1.2-compat-dev libasound2-dev"
# The piano notes are rendered from this SoundFont by FluidSynth's library. Both go in one
# apt-get line, so that FluidSynth's need of a General MIDI font is met by this one.
BUILD_PACKAGES="$BUILD_PACKAGES pkg-config libfluidsynth-dev musescore-general-soundfont-small"
# The time-critical threads ask the desktop's real-time broker over D-Bus.
BUILD_PACKAGES="$BUILD_PACKAGES libdbus-1-dev"
# CPack reads the executable's library needs with dpkg-shlibdeps (dpkg-dev) and file.
PACKAGE_PACKAGES="dpkg-dev file"
# The stage needs a screen, a sound server, the pen and pictures (xdotool, imagemagick, bc); the
# fault tests damage samples with sox. The classic SDL library the end-to-end smoke runs on is
# unpacked, not installed, so its own needs (libcaca0, libpulse0, libxext6) are listed here.
TEST_PACKAGES="googletest libgtest-dev libbenchmark-dev xvfb x11-utils xdotool imagemagick bc \
sox pulseaudio pulseaudio-utils libasound2-plugins alsa-utils \
$PACKAGE_PACKAGES desktop-file-utils libcaca0 libpulse0 libxext6"
# The stage's second sound server, as a desktop runs it; aplay plays a control stream beside
# the program there, and jq reads the server's objects. ALSA's PipeWire plugin is unpacked by
# the stage, not installed.
TEST_PACKAGES="$TEST_PACKAGES pipewire pipewire-bin wireplumber dbus jq"
# Debian's and AppStream's checkers judge the installed tree and the package; a clean Debian
# root made by mmdebstrap is where the package and scripts/play meet a new machine.
TEST_PACKAGES="$TEST_PACKAGES lintian appstream mmdebstrap"
# scripts/soak keeps the processors busy beside the program.
SOAK_PACKAGES="stress-ng"

# Installs whichever of the named Debian packages are missing, or says how to.
EnsurePackages() {
    local missing=() package
    for package in "$@"; do
        dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" ||
            missing+=("$package")
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    local install="apt-get install -y --no-install-recommends ${missing[*]}"
    echo "velmora: installing ${missing[*]}"
    if [ "$(id -u)" -eq 0 ]; then
        apt-get update -qq && DEBIAN_FRONTEND=noninteractive $install
    elif command -v sudo >/dev/null && sudo -n true 2>/dev/null; then
        sudo apt-get update -qq && sudo DEBIAN_FRONTEND=noninteractive $install
    else
        echo "velmora: please run as root: apt-get update && $install" >&2
        exit 1
    fi
}

# Configures and builds one build tree, all of it or the targets named after "--":
# BuildTree DIRECTORY [CMAKE OPTIONS...] [-- TARGET...]
BuildTree() {
    local directory=$1 options=()
    shift
    while [ $# -gt 0 ] && [ "$1" != -- ]; do
        options+=("$1")
        shift
    done
    [ $# -eq 0 ] || shift
    cmake -S "$VELMORA_ROOT" -B "$directory" -G Ninja "${options[@]}" >/dev/null &&
        cmake --build "$directory" ${1:+--target "$@"}
}
