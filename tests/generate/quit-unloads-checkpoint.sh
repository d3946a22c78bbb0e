#!/bin/bash
# Quitting Kanvo with Ctrl+Q asks the local generation server, exactly once,
# to unload its model. Usage: quit-unloads-checkpoint.sh <kanvo> <repository>
set -euo pipefail
source "$2/tests/app/lib.sh"
kanvo_start_server node "$2/server/kanvo-sd-server.mjs"
unloads() { node -e 'fetch(process.argv[1], { signal: AbortSignal.timeout(5000) })
    .then((r) => r.json()).then((s) => console.log(s.unload_count))' "$url/kanvo/status"; }

# A copy of the binary, beside it the configuration that names the test's server.
app=$KANVO_TEST_TMP/app
mkdir -p "$app/bin" "$app/resources/generate"
cp "$1" "$app/bin/kanvo"
echo "sd_url = \"$url\"" >"$app/resources/generate/defaults.toml"

kanvo_start_xvfb
kanvo_start_app "$app/bin/kanvo"
kanvo_focus_window "$(kanvo_find_window "Kanvo 2026")"
[[ $(unloads) == 0 ]] || kanvo_fail "unload requested before quitting"
xdotool key ctrl+q
kanvo_wait_exit "$KANVO_APP_PID" 15 || kanvo_fail "kanvo exited with status $?"
[[ $(unloads) == 1 ]] || kanvo_fail "the server counted $(unloads) unload requests, expected 1"
