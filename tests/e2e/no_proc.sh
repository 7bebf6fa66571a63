#!/usr/bin/env bash
# Without /proc the program finds its folder from the path it was started by, never from the
# working directory: a decoy Gfx/ there, every picture bright magenta, is never shown. Started
# by a bare name through PATH, it cannot know its folder and says so.
source "$(dirname "$0")/lib/e2e.sh" "$1"
# shellcheck disable=SC2016 # expanded by the inner shell
hide='mount -t tmpfs none /proc && cd "$0" && exec "$@"'
decoy=$(mktemp -d)
trap 'rm -rf "$decoy"; CleanUp' EXIT
unshare --mount --propagation private sh -c "$hide" / true ||
    Skip "no mount namespace without /proc may be made here"
mkdir "$decoy/Gfx"
for picture in "$VELMORA_BUILD_DIR"/Gfx/*.bmp; do
    convert "$picture" -fill "#FF00FF" -colorize 100 "BMP3:$decoy/Gfx/${picture##*/}"
done

Start unshare --mount --propagation private sh -c "$hide" "$decoy"
[ -z "$(ls -A "/proc/$PROGRAM_PID/root/proc")" ] || Fail "the program could see /proc"
for point in "200 300" "100 10" "237 2"; do
    # shellcheck disable=SC2086
    [ "$(StagePixel $point)" != "#FF00FF" ] || Fail "the decoy picture shows at $point"
done
ExpectExit StageTapExit

folder=$(dirname "$VELMORA")
VELMORA=velmora StageLaunch unshare --mount --propagation private sh -c "$hide" "$decoy" \
    env PATH="$folder:$PATH"
StageWaitExit
error=$(cat "$STAGE_DIR/program.err")
[ "$PROGRAM_STATUS" = 1 ] && [ "$error" = "velmora: cannot find the program's own folder" ] ||
    Fail "started by its bare name: status $PROGRAM_STATUS, $error"
