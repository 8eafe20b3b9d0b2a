#!/usr/bin/env bash
# Runs a command with an X display: the one in DISPLAY, or a virtual one of its own.
if [ -n "${DISPLAY:-}" ]; then
    exec "$@"
fi
exec xvfb-run -a -s "-screen 0 1280x800x24" "$@"
