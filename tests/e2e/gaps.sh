#!/usr/bin/env bash
# Without real-time rights, as an ordinary user runs it, the program plays the whole
# performance without a stall: no stretch of digital silence between its first and last sound
# longer than one buffer (23.2 ms), which is the most a sound server that falls behind for a
# moment may cost. Shorter gaps are reported but pass: with neither real-time rights nor a
# real-time broker, a busy two-core machine can hold any normal thread that long.
source "$(dirname "$0")/lib/e2e.sh" "$1"
Start setpriv --bounding-set -sys_nice --inh-caps -sys_nice
Perform() {
    StagePerform >/dev/null
}
Record "$STAGE_DIR/gaps.wav" Perform
StageTapExit
ExpectExit
report=$("$VELMORA_PROBE" gaps "$STAGE_DIR/gaps.wav")
echo "$report"
longest=$(sed -n 's/^longest gap: \([0-9.]*\) ms$/\1/p' <<<"$report")
awk -v longest="$longest" 'BEGIN { exit !(longest <= 23.2) }' ||
    Fail "$(xargs <<<"$report") ($STAGE_DIR/gaps.wav)"
