#!/usr/bin/env bash
# In a window, on a screen that is not the handheld's: a tap plays, the pointer moving across
# the keys with no button held plays nothing, and one quit request ends the program with
# status 0, fading out the note still ringing.
source "$(dirname "$0")/lib/e2e.sh" "$1"
window=$STAGE_DIR/window
trap 'CleanUp; StageDown "$window"' EXIT
StageUp "$window" 1024x768 && StageUse "$window" || Fail "no stage at 1024 x 768"
StageLaunch
StageWaitWindowKeyboard || Fail "no keyboard: $(cat "$STAGE_DIR/program.err")"
HoverThenQuit() {
    for y in 310 297 252 207 162 117 72 27; do
        xdotool mousemove $((WINDOW_X + 200)) $((WINDOW_Y + y)) sleep 0.03
    done
    StageSendQuitRequest
}
ExpectFadedEnd "$STAGE_DIR/window.wav" $((WINDOW_X + KEY_X[1])) $((WINDOW_Y + KEY_Y[1])) \
    HoverThenQuit
ExpectNotes "$STAGE_DIR/window.wav" 1
