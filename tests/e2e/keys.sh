#!/usr/bin/env bash
# Every key, tapped once, is heard playing its own sample: the columns in turn, the right one
# going up and the left one down, so that no note follows one near its pitch.
source "$(dirname "$0")/lib/e2e.sh" "$1"
order="1 17 1d 16d 2 16 2d 15d 3 15 4 14d 4d 14 5 13 5d 12d 6 12 6d 11d 7 11"
Start
Record "$STAGE_DIR/keys.wav" TapKeys $order
ExpectExit StageTapExit
ExpectNotes "$STAGE_DIR/keys.wav" $order
