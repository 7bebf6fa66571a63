#!/usr/bin/env bash
# A slide up the right column, right of the black keys, plays each white key once on entering
# it, though the pen moves several times within each.
source "$(dirname "$0")/lib/e2e.sh" "$1"
Start
Record "$STAGE_DIR/slide.wav" StageDrag 200 315 200 10 28 60
ExpectExit StageTapExit
ExpectNotes "$STAGE_DIR/slide.wav" 1 2 3 4 5 6 7
