#!/usr/bin/env bash
# Runs one of the end-to-end scripts under a virtual display of its own, always: what it tests
# (a window without a window manager, input through the X server) must not depend on the
# display of the machine it runs on. The window is 1120 x 860; the screen leaves room round it.
#   tests/e2e/run.sh SCRIPT ARGUMENTS...
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
script=$1
shift
exec xvfb-run -a -s "-screen 0 1600x1000x24 -noreset" node "$here/$script" "$@"
