#!/usr/bin/env bash
# Full screen, the system's first request to close is ignored and the program plays on; the
# second ends it with status 0, fading out the note still ringing. Two requests made while the
# splash shows end it as well.
source "$(dirname "$0")/lib/e2e.sh" "$1"
StageLaunch
StageWaitSplash || Fail "no splash: $(cat "$STAGE_DIR/program.err")"
QuitRequest
QuitRequest
ExpectExit
Start
QuitRequest
Record "$STAGE_DIR/quit.wav" StageTapKey 6
kill -0 "$PROGRAM_PID" || Fail "the first quit request ended the program"
ExpectNotes "$STAGE_DIR/quit.wav" 6
ExpectFadedEnd "$STAGE_DIR/quit_end.wav" "${KEY_X[7]}" "${KEY_Y[7]}" QuitRequest
