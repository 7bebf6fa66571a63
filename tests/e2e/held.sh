#!/usr/bin/env bash
# A key held down shows pressed, only within its own picture and with every other black key
# still whole on top, and released again after the lift: a white key with black keys at both
# ends, and a black key.
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
    for black in 1d 2d 4d 5d 6d 11d 12d 14d 15d 16d; do
        crop="[72x27+$((KEY_X[$black] - 30))+$((KEY_Y[$black] - 13))]"
        [ "$black" = "$note" ] ||
            [ "$(compare -metric AE "released.png$crop" "now.png$crop" null: 2>&1)" = 0 ] ||
            Fail "black key $black changed while $note was held"
    done
    xdotool mouseup 1
    until box=$(Changed) && [ "${box%%x*}" = 0 ]; do :; done
done
StageTapExit
ExpectExit
