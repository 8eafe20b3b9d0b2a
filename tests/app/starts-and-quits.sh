#!/usr/bin/env bash
# The application as a process: it starts, removing what a killed save left, a second start
# hands over to it and ends at once without touching the settings, and a quit request from the
# system (SIGTERM, or SIGHUP when its terminal closes) shuts it down in order, saving its
# settings. Everything in folders of its own, never the user's.
set -u
app=$1

if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x800x24" "$0" "$@"
fi

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
pid=

fail() { echo "$1"; [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null; exit 1; }

for signal in TERM HUP; do
    rm -rf "${home:?}"/*
    export XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_RUNTIME_DIR="$home/runtime"
    mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
    settings="$XDG_CONFIG_HOME/Tonwell/duzezavure.json"
    folder=$(dirname "$settings")

    # A room in the library, which nothing in this run may lose or change before the quit.
    mkdir -p "$folder"
    printf '{ "version": 1, "library": { "Living room": { "bands": [] } } }' > "$settings"
    before=$(od -An -c "$settings")

    # What saves killed half-way left (this version's naming and the earlier one's), beside a
    # file of the user's that only looks alike.
    head -c 100000 /dev/zero > "$folder/.duzezavure.json.5eed1e55.partial"
    head -c 100000 /dev/zero > "$folder/.duzezavure_temp2a4c6e80.json"
    echo "mine" > "$folder/.duzezavure.json.notes"

    "$app" &
    pid=$!

    # The start removes them early; a loaded machine may take seconds to get there.
    for _ in $(seq 1 300); do
        kill -0 "$pid" 2>/dev/null || { wait "$pid"; fail "the application ended by itself (exit $?)"; }
        [ "$(ls -A "$folder" | sort | tr '\n' ' ')" = ".duzezavure.json.notes duzezavure.json " ] && break
        sleep 0.1
    done
    [ "$(ls -A "$folder" | sort | tr '\n' ' ')" = ".duzezavure.json.notes duzezavure.json " ] \
        || fail "the start did not remove exactly what killed saves left within 30 s: $(ls -A "$folder")"

    # The running instance saves only when it quits; a second start must not write at all.
    timeout 30 "$app" || fail "the second start did not end cleanly (exit $?)"
    [ "$(od -An -c "$settings")" = "$before" ] || fail "the second start changed the settings file"
    kill -0 "$pid" 2>/dev/null || fail "the first instance ended when the second started"

    kill -"$signal" "$pid"
    for _ in $(seq 1 300); do
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    kill -0 "$pid" 2>/dev/null && fail "the application did not quit within 30 s of SIG$signal"

    wait "$pid"
    status=$?
    pid=
    [ "$status" -eq 0 ] || fail "the application quit on SIG$signal with exit status $status"

    expected=$(printf '{\r\n  "version": 1,\r\n  "library": {\r\n    "Living room": {\r\n      "bands": []\r\n    }\r\n  }\r\n}')
    [ "$(cat "$settings" 2>/dev/null)" = "$expected" ] || fail "the settings were not saved on SIG$signal: $(od -c "$settings" | head -8)"
done
echo "started, removed what killed saves left, handed a second start over, quit on SIGTERM and on SIGHUP and saved"
