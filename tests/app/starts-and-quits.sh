#!/usr/bin/env bash
# The application as a process: it starts, a second start hands over to it and ends at once
# without touching the settings, and a quit request from the system (SIGTERM) shuts it down in
# order, saving its settings. Everything in folders of its own, never the user's.
set -u
app=$1

if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x800x24" "$0" "$@"
fi

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export XDG_CONFIG_HOME="$home/config" XDG_RUNTIME_DIR="$home/runtime"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
settings="$XDG_CONFIG_HOME/Tonwell/duzezavure.json"

fail() { echo "$1"; kill -KILL "$pid" 2>/dev/null; exit 1; }

# A room in the library, which nothing in this run may lose or change before the quit.
mkdir -p "$(dirname "$settings")"
printf '{ "version": 1, "library": { "Living room": { "bands": [] } } }' > "$settings"
before=$(od -An -c "$settings")

"$app" &
pid=$!

sleep 1.5
kill -0 "$pid" 2>/dev/null || { wait "$pid"; fail "the application ended by itself (exit $?)"; }

# The running instance saves only when it quits; a second start must not write at all.
timeout 10 "$app" || fail "the second start did not end cleanly (exit $?)"
[ "$(od -An -c "$settings")" = "$before" ] || fail "the second start changed the settings file"
kill -0 "$pid" 2>/dev/null || fail "the first instance ended when the second started"

kill -TERM "$pid"
for _ in $(seq 1 100); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done
kill -0 "$pid" 2>/dev/null && fail "the application did not quit within 10 s"

wait "$pid"
status=$?
[ "$status" -eq 0 ] || fail "the application quit with exit status $status"

expected=$(printf '{\r\n  "version": 1,\r\n  "library": {\r\n    "Living room": {\r\n      "bands": []\r\n    }\r\n  }\r\n}')
[ "$(cat "$settings" 2>/dev/null)" = "$expected" ] || fail "the settings were not saved on quit: $(od -c "$settings" | head -8)"
echo "started, handed a second start over, quit on SIGTERM and saved"
