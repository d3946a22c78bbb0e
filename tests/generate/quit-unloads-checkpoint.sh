#!/bin/bash
# Quitting Kanvo with Ctrl+Q asks the generation server, exactly once, to
# unload its model. The real binary runs under Xvfb against the local server.
# Usage: quit-unloads-checkpoint.sh <kanvo executable> <repository folder>
set -euo pipefail
kanvo=$1
repository=$2
source "$repository/tests/app/lib.sh"

node "$repository/server/kanvo-sd-server.mjs" --port 0 >"$KANVO_TEST_TMP/server.out" &
KANVO_TEST_PIDS+=($!)
KANVO_WAIT_LIMIT=10 kanvo_wait_until grep -q '^kanvo-sd-server listening on ' \
    "$KANVO_TEST_TMP/server.out" || kanvo_fail "the local server did not start"
url=$(sed -n 's/^kanvo-sd-server listening on //p' "$KANVO_TEST_TMP/server.out")

# A copy of the binary with no repository above it, so the only configuration
# it can find is the one under KANVO_ROOT that names the test's server.
bin=$KANVO_TEST_TMP/tree/a/b/c/d/e/f/g/h/bin
mkdir -p "$bin" "$KANVO_TEST_TMP/root/resources/generate"
cp "$kanvo" "$bin/kanvo"
printf 'sd_url = "%s"\n' "$url" >"$KANVO_TEST_TMP/root/resources/generate/defaults.toml"
export KANVO_ROOT=$KANVO_TEST_TMP/root

unload_count() {
    node -e 'fetch(process.argv[1], { signal: AbortSignal.timeout(5000) })
        .then((r) => r.json()).then((s) => console.log(s.unload_count))' "$url/kanvo/status"
}

kanvo_start_xvfb
kanvo_start_app "$bin/kanvo"
window=$(kanvo_find_window "Kanvo 2026")
[[ $(unload_count) == 0 ]] || kanvo_fail "unload requested before quitting"
kanvo_focus_window "$window"
xdotool key ctrl+q
kanvo_wait_exit "$KANVO_APP_PID" 15 || kanvo_fail "kanvo exited with status $?"

count=$(unload_count)
[[ $count == 1 ]] || kanvo_fail "the server counted $count unload requests, expected 1"
kanvo_log "one unload request on quit"
