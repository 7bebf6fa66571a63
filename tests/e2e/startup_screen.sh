#!/usr/bin/env bash
# A start-up failure ends the program with status 1 and one line on standard error naming the
# cause, with no window made before a library or display failure. The program fills a 240 x 320
# display, opens a window elsewhere, titled "Velmora" either way, and its exit button ends it
# with status 0. Usage: startup_screen.sh STAGE_DIR (240 x 320), VELMORA_BUILD_DIR set.
set -uo pipefail
source "$(dirname "$0")/../../scripts/stage"
source "$(dirname "$0")/lib/verdict.sh"
build=${VELMORA_BUILD_DIR:-$(dirname "$0")/../../build}
VELMORA=${VELMORA:-$build/velmora}
work=$(mktemp -d)
trap 'kill "$watcher"; StageDown "$work/wide"; rm -rf "$work"' EXIT

# Takes the stage in the directory and logs every window its X server makes, maps or is asked
# to make full screen, so that one which came and went is seen too.
Watch() {
    [ -z "${watcher:-}" ] || kill "$watcher"
    StageUse "$1"
    stdbuf -oL xev -root -event substructure -event property >"$work/events" &
    watcher=$! marks=0
}

# Waits until the log holds everything the server did so far.
Mark() {
    marks=$((marks + 1))
    until grep -q "_MARK_$marks\b" "$work/events"; do
        xprop -root -f "_MARK_$marks" 8s -set "_MARK_$marks" x
    done
}

# Expect WHAT LINE WINDOWS [PREFIX...]: runs the program under the prefix to its end; LINE is
# how its one line starts, WINDOWS the number of windows it may create, or "some".
Expect() {
    local what=$1 line=$2 windows=$3 status from made err
    shift 3
    Mark
    from=$(wc -l <"$work/events")
    "$@" "$VELMORA" >/dev/null 2>"$work/err" && status=0 || status=$?
    Mark
    made=$(tail -n "+$from" "$work/events" | grep -c CreateNotify) err=$(cat "$work/err")
    [ "$status" = 1 ] && [[ "$err" == "$line"* ]] && [ "$(wc -l <"$work/err")" = 1 ] &&
        { [ "$made" = "$windows" ] || { [ "$windows" = some ] && [ "$made" != 0 ]; }; }
    Verdict $? "$what" "status $status, $made windows, standard error: $err"
}

# Judge WANTED: runs the program to its keyboard and out; WANTED 1 for full screen, 0 for not.
Judge() {
    local full title X Y
    StageLaunch
    StageWaitWindowKeyboard || { Verdict 1 "keyboard" "$(cat "$STAGE_DIR/program.err")" && return; }
    X=$WINDOW_X Y=$WINDOW_Y
    Mark
    # SDL 2 asks the window manager for full screen; SDL 1.2 maps an unmanaged window over it.
    full=$(grep -c '(_NET_WM_STATE)\|window 0x[0-9a-f]*, override YES' "$work/events")
    title=$(xdotool getwindowname "$(xdotool search --onlyvisible --classname velmora | tail -n 1)")
    # SDL 1.2 places a click where the pointer last moved to, so the pointer comes from afar.
    xdotool mousemove $((X + 120)) $((Y + 160))
    StageTap $((X + 237)) $((Y + 2))
    StageWaitExit
    [ $((full > 0)) = "$1" ] && [ "$title" = Velmora ] && [ "$PROGRAM_STATUS" = 0 ]
    Verdict $? "$(xdpyinfo | grep -o '[0-9]*x[0-9]* pixels')" \
        "full-screen requests $full, title \"$title\", status $PROGRAM_STATUS"
}

Watch "$1"
mkdir "$work/broken" && echo "not a library" >"$work/broken/libSDL-1.2.so.0"
cp -r "$build/velmora" "$build/Gfx" "$build/Samples" "$work/" && rm "$work/Gfx/whitekey.bmp" &&
    mkfifo "$work/Gfx/whitekey.bmp"
Expect "no loadable SDL library" "velmora: cannot load libSDL-1.2.so.0: " 0 \
    env LD_LIBRARY_PATH="$work/broken"
Expect "an SDL library without its last name" "velmora: SDL library libSDL-1.2.so.0 lacks \
SDL_ConvertAudio" 0 env LD_LIBRARY_PATH="$build/tests/fake_sdl/no_last"
Expect "no display" "velmora: cannot open the display: " 0 env -u DISPLAY
Expect "no sound device" "velmora: no sound output: " some env PULSE_SERVER=unix:/none
VELMORA=$work/velmora Expect "a picture that is a pipe" \
    "velmora: picture Gfx/whitekey.bmp: not a regular file" some
Judge 1
StageUp "$work/wide" 640x480 && Watch "$work/wide" && Judge 0
exit $failed
