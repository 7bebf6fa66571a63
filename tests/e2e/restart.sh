#!/usr/bin/env bash
# The sound server restarts mid-performance: the program says the sound is lost, plays again
# once the server is back, and says so; with the server away, the exit button still ends it.
source "$(dirname "$0")/lib/e2e.sh" "$1"
trap 'pactl info >/dev/null 2>&1 || StageStartServer; CleanUp' EXIT

# Waits until the program has said at least COUNT lines starting with WORDS: SaidTimes COUNT WORDS
SaidTimes() {
    until [ "$(grep -c "^velmora: $2" "$STAGE_DIR/program.err")" -ge "$1" ]; do
        kill -0 "$PROGRAM_PID" 2>/dev/null || Fail "ended: $(cat "$STAGE_DIR/program.err")"
        sleep 0.05
    done
}

Start
StageTapKey 1
echo "stopping the server"
StageStopServer
SaidTimes 1 "sound output lost: "
echo "starting the server"
StageStartServer
SaidTimes 1 "sound output is back"
# The note is tapped once the program's stream has reached the server.
until [ -n "$(pactl list short sink-inputs)" ]; do sleep 0.05; done
echo "recording a note"
Record "$STAGE_DIR/restart.wav" StageTapKey 5
ExpectNotes "$STAGE_DIR/restart.wav" 5
echo "stopping the server for the exit button"
StageStopServer
SaidTimes 2 "sound output lost: "
ExpectExit StageTapExit
cat "$STAGE_DIR/program.err"
