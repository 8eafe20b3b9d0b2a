#!/usr/bin/env bash
# One instance per login session, also after an earlier one quit: start and quit, then start A
# and start B: B hands over and ends, and A raises its console (asks for its window to be
# brought to the front). Once with the lock folder in $XDG_RUNTIME_DIR and once, without that,
# in ~/.cache. Needs a display (tests/support/with-display.sh).
set -u
app=$1
here=$(cd "$(dirname "$0")" && pwd)

home=$(mktemp -d)
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill -KILL "$p" 2>/dev/null; wait "$p" 2>/dev/null; done
    rm -rf "$home"
}
trap cleanup EXIT

fail() { echo "$1"; exit 1; }

# Waits up to SECONDS for a condition (a command) to hold.
within() {
    local seconds=$1
    shift
    for _ in $(seq 1 $((seconds * 10))); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}
# A start or a quit under a sanitiser on a loaded machine, with the web engine to bring up or take
# down, can take a while.
within30s() { within 30 "$@"; }

# Where a process that should have quit is stuck, for the log.
backtraces() {
    command -v gdb >/dev/null && gdb -batch -p "$1" -ex 'thread apply all bt 12' 2>/dev/null | grep -E '^(Thread|#)'
}

quit() {
    kill -TERM "$1"
    within30s eval "! kill -0 $1 2>/dev/null" || { backtraces "$1"; fail "$2 did not quit within 30 s"; }
    wait "$1"
    local status=$?
    [ "$status" -eq 0 ] || fail "$2 quit with exit status $status"
}

activations() { grep -c "^activate $1\$" "$home/activations"; }

: > "$home/activations"
python3 "$here/../support/window-activations.py" > "$home/activations" &
pids+=($!)
within30s grep -q '^ready$' "$home/activations" || fail "cannot watch the display"

for place in runtime cache; do
    session="$home/$place"
    mkdir -p "$session/home" "$session/config"
    export HOME="$session/home" XDG_CONFIG_HOME="$session/config" XDG_DATA_HOME="$session/data"
    if [ "$place" = runtime ]; then
        export XDG_RUNTIME_DIR="$session/runtime"
        mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
        socket="$XDG_RUNTIME_DIR/tonwell-duzezavure/socket"
    else
        unset XDG_RUNTIME_DIR
        socket="$HOME/.cache/tonwell-duzezavure/socket"
    fi

    "$app" &
    first=$!
    pids+=("$first")
    within30s test -S "$socket" || fail "$place: the first start made no socket at $socket"
    within30s eval "[ \$(activations $first) -gt 0 ]" || fail "$place: the first start showed no window"
    quit "$first" "$place: the first start"
    [ -e "$socket" ] && fail "$place: the quit left its socket behind"

    "$app" &
    a=$!
    pids+=("$a")
    within30s eval "[ \$(activations $a) -gt 0 ]" || fail "$place: A showed no window"
    # The window asks a few times as it appears; wait until it has stopped.
    shown=$(activations "$a")
    for _ in $(seq 1 20); do
        sleep 0.5
        [ "$(activations "$a")" -eq "$shown" ] && break
        shown=$(activations "$a")
    done

    timeout 30 "$app" || fail "$place: B did not end cleanly (exit $?)"
    within30s eval "[ \$(activations $a) -gt $shown ]" || fail "$place: B ended, but A never raised its console"
    kill -0 "$a" 2>/dev/null || fail "$place: A ended when B started"
    quit "$a" "$place: A"
done
echo "after a quit, a later second start raised the running console, with the lock in the runtime folder and in ~/.cache"
