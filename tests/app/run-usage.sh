#!/usr/bin/env bash
# tools/run with an option it cannot use says how to use it on standard error and ends with
# status 2, before it sets anything up: here its set-up is a stand-in that fails the test.
set -u
run=$1

tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir "$tree/tools"
cp "$run" "$tree/tools/run"
printf '#!/usr/bin/env bash\necho "went on to set up" >&2\nexit 99\n' > "$tree/tools/setup"
chmod +x "$tree/tools/setup"

failed=0
for args in "--seconds" "--seconds abc" "--seconds -5" "--seconds --simulated" "--simulated --seconds" "--minutes 3"; do
    status=0
    # shellcheck disable=SC2086  # the words of each case are the arguments
    said=$("$tree/tools/run" $args 2>&1 >/dev/null) || status=$?
    if [ "$status" -ne 2 ] || [[ "$said" != "usage: tools/run "* ]]; then
        echo "tools/run $args: status $status, said: $said"
        failed=1
    fi
done
exit "$failed"
