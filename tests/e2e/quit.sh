#!/usr/bin/env bash
# The system's first request to close is ignored, and the program plays on; the second ends it
# with status 0.
source "$(dirname "$0")/lib/e2e.sh" "$1"
Start
StageQuitRequest
Record "$STAGE_DIR/quit.wav" StageTapKey 6
kill -0 "$PROGRAM_PID" || Fail "the first quit request ended the program"
ExpectNotes "$STAGE_DIR/quit.wav" 6
StageQuitRequest
ExpectExit
