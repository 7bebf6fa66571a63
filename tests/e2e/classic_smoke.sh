#!/usr/bin/env bash
# On Debian's classic SDL 1.2 library in place of the system's: start, a few notes heard, and
# the exit button.
source "$(dirname "$0")/lib/e2e.sh" "$1"
Start env LD_LIBRARY_PATH="$CLASSIC_SDL"
grep -q "$(realpath "$CLASSIC_SDL")/libSDL-1.2" "/proc/$PROGRAM_PID/maps" ||
    Fail "the program is not on the classic library"
Record "$STAGE_DIR/classic.wav" TapKeys 1 5 13 16d
ExpectExit StageTapExit
ExpectNotes "$STAGE_DIR/classic.wav" 1 5 13 16d
