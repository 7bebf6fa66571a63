#!/usr/bin/env bash
# The sound server stops answering mid-note, takes no more sound and never hands a buffer back:
# the program still plays on the screen, and the exit button still ends it with status 0 within
# its bounded waits for the device (about a second), well before the 20 s allowed here.
source "$(dirname "$0")/lib/e2e.sh" "$1"
server=$(head -n 1 "$STAGE_DIR/server-pids")
Start
StageTapKey 1
StageTapKey 11
kill -STOP "$server"
for note in 3 5d 13 15d; do StageTapKey "$note"; done
StageTapExit
timeout 20 tail --pid="$PROGRAM_PID" -f /dev/null || Fail "hung: running 20 s after the exit button"
ExpectExit
