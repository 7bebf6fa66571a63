#!/usr/bin/env bash
# Full screen, the system's first request to close is ignored and the program plays on; the
# second ends it with status 0, fading out the note still ringing.
source "$(dirname "$0")/lib/e2e.sh" "$1"
Start
StageSendQuitRequest
ExpectFadedEnd "$STAGE_DIR/quit.wav" "${KEY_X[7]}" "${KEY_Y[7]}" StageSendQuitRequest
