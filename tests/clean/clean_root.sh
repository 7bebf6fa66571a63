#!/usr/bin/env bash
# A Debian 12 machine that has never seen the project, met by its two front doors: the package
# installed with apt-get and started, and scripts/play run from a fresh clone of the committed
# project on a display. Each gets its own copy of a clean root made by mmdebstrap, whose tarball
# is kept in BUILD_DIR/clean-root so that later runs do not download it again.
# Usage: clean_root.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
export LC_ALL=C
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/stage"
source "$here/../e2e/lib/verdict.sh"
build=$(cd "$1" && pwd)
source=$(cd "$2" && pwd)
work=$(mktemp -d)
# The roots' mounts live in namespaces that end with their commands, so no mount is left here.
trap 'kill "${play:-}" 2>/dev/null; StageDown "$work/stage"; rm -rf --one-file-system "$work"' EXIT

# CheckLogged WHAT LOG COMMAND...: as Check, the output in the log (its end shown on failure), and
# false when the command fails.
CheckLogged() {
    local what=$1 log=$2
    shift 2
    "$@" >"$log" 2>&1 && Verdict 0 "$what" && return
    Verdict 1 "$what" "$(tail -n 30 "$log")" && return 1
}

# Expect WHAT PATTERN FILE: the file holds a line that starts with the pattern.
Expect() {
    grep -q "^$2" "$3"
    Verdict $? "$1" "$(tail -n 30 "$3")"
}

# Makes the copy NAME of the clean root, with the machine's name servers.
MakeRoot() {
    mkdir "$work/$1" && tar -xf "$tarball" -C "$work/$1" && cp /etc/resolv.conf "$work/$1/etc/"
}

# Runs a command as the root user of copy NAME, in mount and process namespaces of its own: the
# mounts, and any process the command leaves, end with it or when it is killed. The root gets
# /proc, /sys, the host's devices in place of its own nodes (which a nodev /tmp would disable),
# the X servers' sockets, and a folder of the build tree as apt's store of downloaded packages,
# so that later runs install the same packages without downloading them again:
# InRoot NAME COMMAND...
# shellcheck disable=SC2016 # the inner script expands its own arguments
InRoot() (
    mkdir -p "$build/clean-root/packages-$1" &&
        exec unshare --mount --pid --kill-child --propagation private -- bash -c '
        root=$1 packages=$2
        shift 2
        mount -t proc proc "$root/proc" && mount --rbind /sys "$root/sys" &&
            mount -t tmpfs tmpfs "$root/dev/shm" &&
            mount --bind "$packages" "$root/var/cache/apt/archives" || exit 1
        for node in null zero full random urandom tty; do
            mount --bind "/dev/$node" "$root/dev/$node" || exit 1
        done
        mkdir -p "$root/tmp/.X11-unix" && mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix" &&
            chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
                DEBIAN_FRONTEND=noninteractive "$@"' _ "$work/$1" \
            "$build/clean-root/packages-$1" "${@:2}"
)

[ "$(id -u)" = 0 ] || Skip "making a root with mmdebstrap and entering it needs root"
unshare --mount --pid --fork true 2>/dev/null ||
    Skip "no mount and process namespaces may be made here"

tarball=$build/clean-root/bookworm.tar
if [ ! -s "$tarball" ]; then
    mkdir -p "$build/clean-root"
    # mmdebstrap tells a tarball from a directory by its name's ending.
    rm -rf "$build/clean-root/partial.tar"
    CheckLogged "a clean Debian 12 root is made" "$work/mmdebstrap.log" \
        mmdebstrap --variant=apt bookworm "$build/clean-root/partial.tar" </dev/null || exit 1
    mv "$build/clean-root/partial.tar" "$tarball"
fi

# scripts/play from a fresh clone of the committed project, on the stage's display; it runs
# while the package is tried, each line stamped with the second it came.
StageUp "$work/stage" && MakeRoot play || exit 1
git clone -q --no-checkout "$source" "$work/play/root/velmora" &&
    git -C "$work/play/root/velmora" checkout -q "$(git -C "$source" rev-parse HEAD)" || exit 1
: >"$work/play.log"
exec {log}> >(while IFS= read -r line; do echo "$SECONDS $line"; done >"$work/play.log")
stamper=$!
InRoot play env DISPLAY=":$(cat "$work/stage/display")" /root/velmora/scripts/play \
    >&"$log" 2>&1 &
play=$! started=$SECONDS
exec {log}>&-

# The package built from this tree, installed as a user would, with nothing else asked for.
cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/deb" >/dev/null 2>&1
deb=$(ls "$work"/deb/velmora_*.deb) && MakeRoot package && cp "$deb" "$work/package/root/" ||
    exit 1
if CheckLogged "the package installs on a clean system" "$work/install.log" InRoot package \
    sh -c 'cd /root && apt-get update -q && apt-get install -y -q ./velmora_*.deb'; then
    CheckLogged "the loader finds the SDL 1.2 library" "$work/ldconfig.log" InRoot package \
        sh -c 'ldconfig -p | grep -F "libSDL-1.2.so.0 "'
    # No sound device in the root: start-up gets past the SDL library and the files, and
    # stops at the sound output.
    InRoot package env SDL_VIDEODRIVER=dummy velmora >/dev/null 2>"$work/run.log"
    Expect "the installed program starts up to its sound output" "velmora: no sound output: " \
        "$work/run.log"
    CheckLogged "the installed program tells its version" "$work/version.log" InRoot package \
        sh -c 'velmora --version | grep "^velmora [0-9]"'
fi

until grep -q "^[0-9]* Velmora starting" "$work/play.log" || ! kill -0 "$play" 2>/dev/null; do
    sleep 1
done
kill "$play" 2>/dev/null
wait "$play" "$stamper"
Expect "scripts/play builds and starts the program on a clean system" "[0-9]* Velmora starting" \
    "$work/play.log"
# For the README's figures: what installing the packages and the first build took here.
awk -v started="$started" '/^[0-9]* velmora: building/ { building = $1 }
    /^[0-9]* Velmora starting/ { printf "scripts/play: packages %d s, then building up to " \
        "the start-up line %d s\n", building - started, $1 - building }' "$work/play.log"
exit $failed
