#!/usr/bin/env bash
# A performance played without real-time rights, as an ordinary desktop user runs the program,
# is heard whole: no stretch of digital silence longer than 5 ms between its first and last
# sound. The sound server runs at normal priority, as on the stage.
# Usage: gaps.sh STAGE_DIRECTORY PROBE
set -euo pipefail
source "$(dirname "$0")/../../scripts/stage"
StageUse "$1"
recording=$STAGE_DIR/gaps.wav
StageLaunch setpriv --bounding-set -sys_nice --inh-caps -sys_nice
StageWaitKeyboard
StageRecord "$recording"
StagePerform >/dev/null
StageStopRecording
StageTapExit
StageWaitExit
report=$("$2" gaps "$recording")
echo "$report"
grep -qx "gaps over 5 ms: 0" <<<"$report"
