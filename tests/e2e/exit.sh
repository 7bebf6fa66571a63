#!/usr/bin/env bash
# The pen put down on the exit button and lifted on a key does not end the program; put down
# on a key and lifted on the exit button, it ends it with status 0, fading out the note still
# ringing.
source "$(dirname "$0")/lib/e2e.sh" "$1"
Start
Record "$STAGE_DIR/exit.wav" StageDrag 237 2 237 297 5 200
ExpectNotes "$STAGE_DIR/exit.wav" 6 5 4 2 1
kill -0 "$PROGRAM_PID" || Fail "a lift off the exit button ended the program"
ExpectFadedEnd "$STAGE_DIR/exit_end.wav" "${KEY_X[7]}" "${KEY_Y[7]}" StageDrag 237 297 237 2 1
