# shellcheck shell=bash
# The shell tests' one verdict, for scripts that judge several things and go on after a failure.
failed=0

# Verdict STATUS WHAT [DETAILS]: "ok: WHAT" for status 0, else "FAILED: WHAT: DETAILS", failed=1.
Verdict() {
    [ "$1" = 0 ] && echo "ok: $2" && return
    echo "FAILED: $2${3:+: $3}" && failed=1
}

# Ends the script without a verdict, counted as skipped: Skip REASON
Skip() {
    echo "velmora e2e: skipped: $*" >&2
    exit 77
}

# Check WHAT COMMAND...: the verdict on a command, with its output when it fails.
Check() {
    local what=$1 log
    shift
    log=$("$@" 2>&1)
    Verdict $? "$what" "$log"
}
