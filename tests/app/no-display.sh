#!/usr/bin/env bash
# The application started where there is no display (DISPLAY unset, or naming a display that
# nobody serves) says why on standard error and ends with a failure status, having written
# nothing: no settings, no lock or socket, nothing in the home or working folder.
set -u
app=$1

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT

fail() { echo "$1"; exit 1; }

served() { [ -e "/tmp/.X11-unix/X$1" ] || [ -e "/tmp/.X$1-lock" ]; }

checked=0
for display in "" ":4242"; do
    if [ -z "$display" ] && served 0; then
        echo "skipped DISPLAY unset: this machine serves :0, which the framework would use"
        continue
    fi
    [ -n "$display" ] && served "${display#:}" && fail "display $display is served here; pick another"

    rm -rf "${home:?}"/*
    mkdir -p "$home/config" "$home/runtime" "$home/home" "$home/cwd"
    chmod 700 "$home/runtime"

    status=0
    (
        cd "$home/cwd" || exit 99
        if [ -z "$display" ]; then unset DISPLAY; else export DISPLAY=$display; fi
        XDG_CONFIG_HOME="$home/config" XDG_DATA_HOME="$home/data" XDG_RUNTIME_DIR="$home/runtime" HOME="$home/home" \
            exec timeout 120 "$app" 2>"$home/said"
    ) || status=$?
    said=$(cat "$home/said")
    rm -f "$home/said"

    what="with DISPLAY=${display:-(unset)}"
    [ "$status" -ne 0 ] || fail "$what the application ended with status 0"
    [ "$status" -lt 124 ] || fail "$what the application did not end by itself (status $status; 124 is the time-out, above 128 a signal)"
    case "$said" in
        "no display: "*) ;;
        *) fail "$what the application said: '$said'" ;;
    esac
    written=$(find "$home" -mindepth 2)
    [ -z "$written" ] || fail "$what the application wrote: $written"
    checked=$((checked + 1))
done

[ "$checked" -gt 0 ] || fail "no case could be checked"
echo "without a display: a reason, a failure status and nothing written ($checked cases)"
