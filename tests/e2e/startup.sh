#!/usr/bin/env bash
# Start-up as a user meets it: the splash picture and one line of output. Full screen, two
# quit requests made while the splash shows end the program with status 0.
source "$(dirname "$0")/lib/e2e.sh" "$1"
StageLaunch
StageWaitSplash || Fail "no splash: $(cat "$STAGE_DIR/program.err")"
StageShot "$STAGE_DIR/splash.png"
[ "$(identify -format %k "$STAGE_DIR/splash.png")" -gt 100 ] || Fail "the splash is no picture"
StageSendQuitRequest
ExpectExit StageSendQuitRequest
[ "$(cat "$STAGE_DIR/program.out")" = "Velmora starting..." ] || Fail "printed something else"
