#!/usr/bin/env bash
# The program as a distribution installs it: a tree made by cmake --install and the Debian
# package, judged by the tools a distribution uses, then started as bin/velmora, which finds
# its files in share/velmora.
# Usage: install_test.sh BUILD_DIR
set -uo pipefail
export LC_ALL=C
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/stage"
source "$here/../e2e/lib/verdict.sh"
build=$(cd "$1" && pwd)
work=$(mktemp -d)
trap 'StageDown "$work/stage"; rm -rf "$work"' EXIT
# The files of an installed tree, the pictures and samples counted rather than named.
ListTree() {
    (cd "$1" && find . ! -type d | sed -E 's:/(Gfx|Samples)/[^/]*$:/\1/*:' | sort | uniq -c)
}

prefix=$work/prefix
cmake --install "$build" --prefix "$prefix" >/dev/null
Check "the installed files are the manifest's" diff "$here/manifest" <(ListTree "$prefix")
Check "the desktop entry is valid" desktop-file-validate "$prefix"/share/applications/*.desktop
Check "the AppStream metadata is valid" appstreamcli validate --no-net "$prefix"/share/metainfo/*

cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work/deb" >/dev/null 2>&1
deb=$(ls "$work"/deb/velmora_*.deb)
# Every error, warning and pedantic tag is mended or overridden with its reason in
# packaging/velmora.lintian-overrides.
Check "lintian --pedantic finds nothing left without a reason" \
    lintian --pedantic --fail-on error,warning,pedantic "$deb"
# The maintained library's shim or the classic library: each puts libSDL-1.2.so.0 where the
# loader looks, which libsdl1.2-compat alone does not.
Check "the package needs an SDL 1.2 library the loader finds, and ALSA" grep -q \
    '^libsdl1.2-compat-shim | libsdl1.2debian, libasound2' <(dpkg-deb --field "$deb" Depends)

StageUp "$work/stage" && StageUse "$work/stage"
VELMORA=$prefix/bin/velmora StageLaunch
StageWaitKeyboard && StageTapExit
StageWaitExit
Check "the installed command shows the keyboard and its exit button ends it" \
    test "$PROGRAM_STATUS" = 0
exit $failed
