#!/usr/bin/env bash
# Without real-time rights, as an ordinary user runs it, the program plays the whole
# performance: as many notes are heard as were played, and sound is owed from the first note to
# the end of the last one (or of the recording), with no stretch of digital silence over 5 ms.
# A gap is excused only where something outside the program is heard to have stalled at that
# very moment: the host of this virtual machine taking a processor away for at least as long
# (its steal time, sampled every 10 ms per processor), or, on PipeWire, a tone played by aplay
# through the same server breaking off too (recorded from a sink of its own).
source "$(dirname "$0")/lib/e2e.sh" "$1"
cd "$STAGE_DIR" || exit 1
rights=(setpriv --bounding-set -sys_nice --inh-caps -sys_nice)
Start "${rights[@]}"
rm -f control.wav
Perform() {
    StagePerform >played
}
"$VELMORA_PROBE" steal >steal &
sampler=$!
if [ "$STAGE_SERVER" = pipewire ]; then
    sox -n -r 22050 -c 1 -b 16 tone.wav synth 30 sine 440 vol 0.5
    "${rights[@]}" aplay -q -D control --buffer-size=1024 --period-size=256 tone.wav 2>/dev/null &
    control=$!
    StageRecord control.wav control
fi
Record gaps.wav Perform
kill "$sampler" ${control:-}
StageTapExit
ExpectExit
heard=$("$VELMORA_PROBE" notes gaps.wav "$VELMORA_BUILD_DIR")
[ "$(wc -l <<<"$heard")" -ge "$(wc -l <played)" ] ||
    Fail "heard $(wc -l <<<"$heard") notes of the $(wc -l <played) played ($STAGE_DIR/gaps.wav)"
# The recordings end together; each one's timeline starts its length before that.
Origin() {
    echo "$RECORD_END - $(soxi -D "$1")" | bc
}
until=$(awk '$4 > end { end = $4 } END { print end }' <<<"$heard")
{
    sed 's/^/steal /' steal
    [ ! -f control.wav ] || "$VELMORA_PROBE" gaps control.wav | sed "s/^/control $(Origin control.wav) /"
    "$VELMORA_PROBE" gaps gaps.wav "$until" | sed "s/^/program $(Origin gaps.wav) /"
} | awk -v tick="$((1000 / $(getconf CLK_TCK)))" -v slack=0.02 '
    # A burst: looks in a row at which the steal of one processor grew, from the look before.
    function Burst(cpu) {
        bursts++
        start[bursts] = from[cpu]; end[bursts] = to[cpu]; took[bursts] = ticks[cpu] * tick
        which[bursts] = cpu - 3; ticks[cpu] = 0
    }
    $1 == "steal" {
        for (cpu = 3; cpu <= NF; cpu++) {
            if (looks && $cpu > last[cpu]) {
                if (!ticks[cpu]) from[cpu] = then
                ticks[cpu] += $cpu - last[cpu]; to[cpu] = $2
            } else if (ticks[cpu]) Burst(cpu)
            last[cpu] = $cpu
        }
        then = $2; looks++
    }
    $1 != "steal" && looks { for (cpu in ticks) if (ticks[cpu]) Burst(cpu); looks = 0 }
    $1 == "control" && $3 == "gap" { controls++; cstart[controls] = $2 + $5; cend[controls] = $2 + $5 + $7 / 1000 }
    $1 == "program" && $3 == "gap" {
        gapStart = $2 + $5; gapEnd = gapStart + $7 / 1000; why = ""
        for (b = 1; b <= bursts && !why; b++)
            if (start[b] <= gapEnd + slack && end[b] >= gapStart - slack && took[b] >= $7)
                why = sprintf("the host took processor %d for %d ms", which[b], took[b])
        for (c = 1; c <= controls && !why; c++)
            if (cstart[c] <= gapEnd + slack && cend[c] >= gapStart - slack) why = "the control broke off too"
        print "gap at " $5 " s, " $7 " ms: " (why ? "excused, " why : "not excused")
        if (why) excused++; else kept++
    }
    END { print "excused: " excused + 0; print "not excused: " kept + 0 }' >verdict
cat verdict
grep -q "^not excused: 0$" verdict || Fail "$(tail -n 2 verdict | xargs) ($STAGE_DIR/gaps.wav)"
