#!/usr/bin/env bash
# In a window, on a screen of its own that is not the handheld's: the pointer moving across the
# keys with no button held plays nothing, and a tap plays; one quit request ends the program
# with status 0, fading out the note still ringing.
source "$(dirname "$0")/lib/e2e.sh" "$1"
window=$STAGE_DIR/window
trap 'CleanUp; StageDown "$window"' EXIT
StageUp "$window" 1024x768
StageUse "$window"
StageLaunch
until wid=$(xdotool search --onlyvisible --classname velmora | tail -1) && [ -n "$wid" ]; do
    kill -0 "$PROGRAM_PID" || Fail "no window: $(cat "$STAGE_DIR/program.err")"
done
eval "$(xdotool getwindowgeometry --shell "$wid")"
until [ "$(StagePixel $((X + 100)) $((Y + 2)))" = "#000000" ] &&
    [ "$(StagePixel $((X + 200)) $((Y + 300)))" != "#000000" ]; do
    kill -0 "$PROGRAM_PID" || Fail "no keyboard: $(cat "$STAGE_DIR/program.err")"
done
HoverThenTap() {
    for y in 310 297 252 207 162 117 72 27; do
        xdotool mousemove $((X + 200)) $((Y + y)) sleep 0.05
    done
    StageTap $((X + KEY_X[3])) $((Y + KEY_Y[3]))
}
Record "$STAGE_DIR/hover.wav" HoverThenTap
ExpectNotes "$STAGE_DIR/hover.wav" 3
ExpectFadedEnd "$STAGE_DIR/window_end.wav" $((X + KEY_X[7])) $((Y + KEY_Y[7])) QuitRequest
