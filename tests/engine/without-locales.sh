#!/bin/sh
# Runs a test binary where the machine's installed locales are hidden (an empty folder mounted
# over them in a mount namespace of its own), so that nothing it does can lean on one.
#   without-locales.sh BINARY [ARGUMENTS...]
set -eu
empty=$(mktemp -d)
trap 'rmdir "$empty"' EXIT
BRINDLE_EXPECT_NO_LOCALES=1 unshare --mount --map-root-user \
    sh -c 'mount --bind "$0" /usr/lib/locale && exec "$@"' "$empty" "$@"
