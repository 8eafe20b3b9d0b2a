#!/usr/bin/env bash
# Starts the application, checks it is still running a moment later, asks it to quit the way
# the desktop does (SIGINT ends JUCE's event loop) and expects a clean exit.
set -u
app=$1

if [ -z "${DISPLAY:-}" ]; then
    exec xvfb-run -a -s "-screen 0 1280x800x24" "$0" "$@"
fi

"$app" &
pid=$!

sleep 1.5
if ! kill -0 "$pid" 2>/dev/null; then
    wait "$pid"
    echo "the application ended by itself (exit $?)"
    exit 1
fi

kill -INT "$pid"
for _ in $(seq 1 100); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
done

if kill -0 "$pid" 2>/dev/null; then
    echo "the application did not quit within 10 s"
    kill -KILL "$pid"
    exit 1
fi

wait "$pid"
status=$?
if [ "$status" -ne 0 ]; then
    echo "the application quit with exit status $status"
    exit 1
fi
echo "started and quit cleanly"
