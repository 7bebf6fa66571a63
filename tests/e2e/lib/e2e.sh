# shellcheck shell=bash
# Sourced by every end-to-end script, with the stage's directory as $1: the stage's functions,
# and a few of our own.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../../../scripts/stage"
source "$(dirname "${BASH_SOURCE[0]}")/verdict.sh"
StageUse "$1"
# Leaves the stage as it was for the next script, however this one ends.
CleanUp() {
    xdotool mouseup 1 || true
    kill -CONT $(cat "$STAGE_DIR/pids") 2>/dev/null || true
    kill -KILL ${PROGRAM_PID:-} ${RECORDER_PID:-} ${WATCHER_PID:-} 2>/dev/null || true
    until [ "$(StagePixel 200 300)" = "#000000" ]; do sleep 0.05; done # the window is gone
}
trap CleanUp EXIT

# Ends the script with a failure: Fail DETAILS
Fail() {
    Verdict 1 "$(basename "$0")" "$*" >&2
    exit 1
}

# Taps the keys of the notes in turn, each given a moment to sound: TapKeys NOTE...
TapKeys() {
    for note in "$@"; do
        StageTapKey "$note"
        sleep 0.2
    done
}

# Starts the program and waits for the keyboard: Start [PREFIX...].
Start() {
    StageLaunch "$@"
    StageWaitKeyboard || Fail "no keyboard: $(cat "$STAGE_DIR/program.err")"
}

# Records while a command plays, until the recording holds half a second past its end:
# Record FILE COMMAND...
Record() {
    local file=$1 want
    shift
    StageRecord "$file"
    "$@"
    want=$(($(stat -c %s "$file") + 22050))
    until [ "$(stat -c %s "$file")" -ge "$want" ]; do sleep 0.05; done
    StageStopRecording
}

# Fails unless the recording holds the notes given, in order, and no other: ExpectNotes FILE
# NOTE... Where several notes ring together the probe may hear one of them start again, so a
# note played may be heard more than once.
ExpectNotes() {
    local file=$1 heard next=1 note
    shift
    heard=$("$VELMORA_PROBE" notes "$file" "$VELMORA_BUILD_DIR" | awk '{ print $2 }' | xargs)
    for note in $heard; do
        [[ " $* " == *" $note "* ]] || Fail "heard $note, never played, in \"$heard\" ($file)"
        [ "$note" != "${!next:-}" ] || next=$((next + 1))
    done
    [ "$next" -gt $# ] || Fail "heard \"$heard\", played \"$*\" ($file)"
}

# Runs the command given, if any, then fails unless the program ends with status 0:
# ExpectExit [COMMAND...]
ExpectExit() {
    "$@"
    StageWaitExit
    [ "$PROGRAM_STATUS" -eq 0 ] || Fail "ended with status $PROGRAM_STATUS"
}

# Taps X Y, then ends the program by a command while the note rings: EndWhileRinging X Y COMMAND...
EndWhileRinging() {
    StageTap "$1" "$2"
    ExpectExit "${@:3}"
}

# As EndWhileRinging, recorded; fails unless the sound fades out rather than stops dead:
# ExpectFadedEnd FILE X Y COMMAND...
ExpectFadedEnd() {
    local file=$1
    shift
    Record "$file" EndWhileRinging "$@"
    "$VELMORA_PROBE" fade "$file" || Fail "the sound did not fade out at the end ($file)"
}
