#!/usr/bin/env bash
# Without real-time rights, as an ordinary user runs it, the program plays the whole
# performance without a gap: no stretch of digital silence between its first and last sound
# longer than 5 ms.
source "$(dirname "$0")/lib/e2e.sh" "$1"
Start setpriv --bounding-set -sys_nice --inh-caps -sys_nice
Perform() {
    StagePerform >/dev/null
}
Record "$STAGE_DIR/gaps.wav" Perform
StageTapExit
ExpectExit
report=$("$VELMORA_PROBE" gaps "$STAGE_DIR/gaps.wav")
grep -qx "gaps over 5 ms: 0" <<<"$report" || Fail "$(xargs <<<"$report") ($STAGE_DIR/gaps.wav)"
