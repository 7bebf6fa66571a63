#!/usr/bin/env bash
# The pen put down on a key and lifted on the exit button ends the program with status 0,
# fading out the note still ringing.
source "$(dirname "$0")/lib/e2e.sh" "$1"
Start
ExpectFadedEnd "$STAGE_DIR/exit_end.wav" "${KEY_X[7]}" "${KEY_Y[7]}" StageDrag 237 297 237 2 1
