#!/usr/bin/env bash
# The program takes the whole screen of a 240 x 320 display and opens a window elsewhere,
# titled "Velmora" either way, and its exit button ends it with status 0.
# Usage: display_size.sh BUILD_DIR
set -uo pipefail
source "$(dirname "$0")/window_watch.sh"
VELMORA=${VELMORA:-$(cd "$1" && pwd)/velmora}

# Judge SIZE WANTED: WANTED is 1 for the whole screen, 0 for a window.
Judge() (
    WatchUp "$1"
    StageLaunch
    local wid=""
    until [ -n "$wid" ]; do
        kill -0 "$PROGRAM_PID" 2>/dev/null || { echo "FAILED: $1: ended early" && exit 1; }
        wid=$(xdotool search --onlyvisible --classname velmora | tail -1)
    done
    eval "$(xdotool getwindowgeometry --shell "$wid")"
    # The keyboard is drawn: black above the top keys, the keys below.
    until [ "$(StagePixel $((X + 100)) $((Y + 2)))" = "#000000" ] &&
        [ "$(StagePixel $((X + 200)) $((Y + 300)))" != "#000000" ]; do sleep 0.05; done
    WatchMark
    # SDL 2 asks the window manager for full screen; SDL 1.2 maps an unmanaged window over it.
    local full title
    full=$(grep -c '(_NET_WM_STATE)\|window 0x[0-9a-f]*, override YES' "$work/events")
    title=$(xdotool getwindowname "$wid")
    StageTap $((X + 237)) $((Y + 2))
    StageWaitExit
    if [ "$((full > 0))" = "$2" ] && [ "$title" = Velmora ] && [ "$PROGRAM_STATUS" = 0 ]; then
        echo "ok: $1"
    else
        echo "FAILED: $1: full-screen requests $full, title \"$title\", status $PROGRAM_STATUS"
        exit 1
    fi
)

Judge 240x320 1 && Judge 640x480 0
