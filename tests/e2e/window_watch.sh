# A private stage whose windows are watched: every window created, mapped or asked to be full
# screen is logged, so that one which came and went is seen too. Source it, then WatchUp.
source "$(dirname "${BASH_SOURCE[0]}")/../../scripts/stage"

# Brings up a stage of the given size (default 240x320) in a new $work and starts watching.
WatchUp() {
    work=$(mktemp -d)
    trap 'kill "$WATCHER" 2>/dev/null; StageDown "$work/stage"; rm -rf "$work"' EXIT
    StageUp "$work/stage" "${1:-}"
    StageUse "$work/stage"
    stdbuf -oL xev -root -event substructure -event property >"$work/events" &
    WATCHER=$!
    marks=0
    WatchMark
}

# Waits until the watcher has logged everything the server did so far, then starts a new span.
WatchMark() {
    marks=$((marks + 1))
    until grep -q "_VELMORA_MARK_$marks" "$work/events"; do
        xprop -root -f "_VELMORA_MARK_$marks" 8s -set "_VELMORA_MARK_$marks" x
        sleep 0.05
    done
    spanStart=$(grep -n "_VELMORA_MARK_$((marks - 1))\b" "$work/events" | tail -1 | cut -d: -f1)
}

# How many lines of the span between the last two marks match the pattern.
WatchCount() {
    sed -n "${spanStart:-1},\$p" "$work/events" | grep -c -- "$1"
}
