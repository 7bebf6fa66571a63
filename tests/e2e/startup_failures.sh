#!/usr/bin/env bash
# Each start-up failure ends the program with status 1 and one line on standard error naming
# the cause; without a library or a display no window is ever created, while the sound
# failure comes after the splash's window. Usage: startup_failures.sh BUILD_DIR
set -uo pipefail
source "$(dirname "$0")/window_watch.sh"
build=$(cd "$1" && pwd)
WatchUp
failed=0

# Expect WHAT STATUS_LINE WINDOWS [PREFIX...]: runs the program under the prefix and judges it.
Expect() {
    local what=$1 line=$2 windows=$3 status
    shift 3
    WatchMark
    "$@" "${VELMORA:-$build/velmora}" >/dev/null 2>"$work/err"
    status=$?
    WatchMark
    local err created
    err=$(cat "$work/err")
    created=$(WatchCount CreateNotify)
    if [ "$status" = 1 ] && [[ "$err" == $line ]] && [ "$(wc -l <"$work/err")" = 1 ] &&
        { [ "$windows" = some ] && [ "$created" -gt 0 ] || [ "$created" = "$windows" ]; }; then
        echo "ok: $what"
    else
        echo "FAILED: $what: status $status, $created windows, standard error: $err"
        failed=1
    fi
}

mkdir -p "$work/broken" "$work/copy"
echo "not a library" >"$work/broken/libSDL-1.2.so.0"
cp -r "$build/velmora" "$build/Gfx" "$build/Samples" "$work/copy/"
rm "$work/copy/Gfx/whitekey.bmp"

Expect "no loadable SDL library" "velmora: cannot load libSDL-1.2.so.0: *" 0 \
    env LD_LIBRARY_PATH="$work/broken"
Expect "an SDL library without its last name" \
    "velmora: SDL library libSDL-1.2.so.0 lacks SDL_ConvertAudio" 0 \
    env LD_LIBRARY_PATH="$build/tests/fake_sdl/no_last"
Expect "no display" "velmora: cannot open the display: *" 0 env -u DISPLAY
VELMORA=$work/copy/velmora Expect "a missing picture" \
    "velmora: picture Gfx/whitekey.bmp is missing or not a bitmap" some
Expect "no sound device" "velmora: no sound output: *" some \
    env PULSE_SERVER=unix:/nonexistent/native
exit $failed
