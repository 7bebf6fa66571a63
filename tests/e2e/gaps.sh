#!/usr/bin/env bash
# Without real-time rights, as an ordinary user runs it, the program plays the whole
# performance: the notes played are heard, and sound is owed from the first note to the end of
# the recording, with no stretch of digital silence over 5 ms, nor silence running to its end.
# A gap is excused only where something outside the program is seen to stall at that very
# moment (StageJudgeGaps): the host taking a processor away for at least as long, or on
# PipeWire an aplay control stream through the same server breaking off too.
source "$(dirname "$0")/lib/e2e.sh" "$1"
cd "$STAGE_DIR" || exit 1
rights=(setpriv --bounding-set -sys_nice --inh-caps -sys_nice)
Start "${rights[@]}"
Perform() { StagePerform >played; }
StageWatch "${rights[@]}"
Record gaps.wav Perform
ExpectExit StageTapExit
heard=$("$VELMORA_PROBE" notes gaps.wav "$VELMORA_BUILD_DIR" | wc -l)
# In the quick run the probe may not tell a note from the one just before it (5d after 4d).
[ "$heard" -ge $(($(wc -l <played) - 2)) ] ||
    Fail "heard $heard notes of the $(wc -l <played) played ($STAGE_DIR/gaps.wav)"
# The recording ends half a second after the last tap, with the last note still loud.
StageJudgeGaps gaps.wav "$(soxi -D gaps.wav)" | tee verdict
grep -q "^not excused: 0$" verdict || Fail "$(tail -n 2 verdict | xargs) ($STAGE_DIR/gaps.wav)"
