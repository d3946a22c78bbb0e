#!/bin/bash
# Quitting Kanvo with Ctrl+Q asks the local generation server, exactly once,
# to unload its model. Usage: quit-unloads-checkpoint.sh <kanvo> <repository>
set -euo pipefail
source "$2/tests/app/lib.sh"
node "$2/server/kanvo-sd-server.mjs" --port 0 >"$KANVO_TEST_TMP/server.out" &
KANVO_TEST_PIDS+=($!)
url() { sed -n 's/^kanvo-sd-server listening on //p' "$KANVO_TEST_TMP/server.out"; }
started() { [[ -n $(url) ]]; }
KANVO_WAIT_LIMIT=10 kanvo_wait_until started || kanvo_fail "the local server did not start"
unloads() {
    node -e 'fetch(process.argv[1], { signal: AbortSignal.timeout(5000) })
        .then((r) => r.json()).then((s) => console.log(s.unload_count))' "$(url)/kanvo/status"
}

# A copy of the binary with no repository above it, so the only configuration
# it finds is the one under KANVO_ROOT that names the test's server.
export KANVO_ROOT=$KANVO_TEST_TMP/root
mkdir -p "$KANVO_TEST_TMP/a/b/c/d/e/f/g/h/bin" "$KANVO_ROOT/resources/generate"
cp "$1" "$KANVO_TEST_TMP/a/b/c/d/e/f/g/h/bin/kanvo"
printf 'sd_url = "%s"\n' "$(url)" >"$KANVO_ROOT/resources/generate/defaults.toml"

kanvo_start_xvfb
kanvo_start_app "$KANVO_TEST_TMP/a/b/c/d/e/f/g/h/bin/kanvo"
kanvo_focus_window "$(kanvo_find_window "Kanvo 2026")"
[[ $(unloads) == 0 ]] || kanvo_fail "unload requested before quitting"
xdotool key ctrl+q
kanvo_wait_exit "$KANVO_APP_PID" 15 || kanvo_fail "kanvo exited with status $?"
[[ $(unloads) == 1 ]] || kanvo_fail "the server counted $(unloads) unload requests, expected 1"
