#!/usr/bin/env bash
# A key held down shows pressed, only within its own picture, and released again after the lift:
# a white key with black keys at both ends, and a black key. That the black keys stay whole on
# top is judged where every key drawn is held against a full redraw.
source "$(dirname "$0")/lib/e2e.sh" "$1"
cd "$STAGE_DIR"
# The box around the pixels that differ from released.png, as WxH+X+Y (0x0 when none).
Changed() {
    StageShot now.png
    compare released.png now.png -compose Src -highlight-color white -lowlight-color black \
        diff.png 2>/dev/null || true
    convert diff.png -format %@ info: 2>/dev/null
}
Start
StageShot released.png
for key in 2:120:230:120:45 14d:0:131:72:27; do
    IFS=: read -r note x y w h <<<"$key"
    xdotool mousemove "${KEY_X[$note]}" "${KEY_Y[$note]}" mousedown 1
    until box=$(Changed) && [ "${box%%x*}" != 0 ]; do :; done
    IFS='x+' read -r bw bh bx by <<<"$box"
    [ "$bx" -ge "$x" ] && [ "$by" -ge "$y" ] && [ $((bx + bw)) -le $((x + w)) ] &&
        [ $((by + bh)) -le $((y + h)) ] || Fail "$note held changed $box, not only ${w}x$h+$x+$y"
    xdotool mouseup 1
    until box=$(Changed) && [ "${box%%x*}" = 0 ]; do :; done
done
ExpectExit StageTapExit
