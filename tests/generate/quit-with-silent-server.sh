#!/bin/bash
# Quitting Kanvo while a generation runs against a server that accepts
# connections and never answers (the run's script waiting on txt2img, the
# progress poll and the unload request all unanswered) ends the process
# within 6 seconds, cleanly. Usage: quit-with-silent-server.sh <kanvo> <repository>
set -euo pipefail
source "$2/tests/app/lib.sh"
kanvo_start_server node "$2/server/kanvo-sd-server.mjs" --hang

# A copy of the binary, beside it the configuration that names the silent
# server and the script it runs.
app=$KANVO_TEST_TMP/app
mkdir -p "$app/bin" "$app/resources/generate" "$app/scripts"
cp "$1" "$app/bin/kanvo"
cp -r "$2/scripts/." "$app/scripts/"
ln -s "$2/node_modules" "$app/node_modules"
echo "sd_url = \"$url\"" >"$app/resources/generate/defaults.toml"

# The run still going at quit is never freed (tests/sanitizers/lsan.supp);
# under the asan build, full stacks let LeakSanitizer see where it started.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}fast_unwind_on_malloc=0"
kanvo_start_xvfb
kanvo_start_app "$app/bin/kanvo"
window=$(kanvo_find_window "Kanvo 2026")
kanvo_focus_window "$window"
eval "$(xdotool getwindowgeometry --shell "$window" | grep -E '^(X|Y|HEIGHT)=')"
ws_x=$X ws_y=$((Y + HEIGHT - 920))
xdotool mousemove $((ws_x + 340)) $((ws_y + 836)) click 1
xdotool type --delay 10 "a lighthouse at dusk"
xdotool mousemove $((ws_x + 652)) $((ws_y + 836)) click 1
# The run's node child is Kanvo's to end; the test ends it if it outlives Kanvo.
children() { pgrep -P "$KANVO_APP_PID" || true; }
kanvo_wait_until [ -n "$(children)" ] || kanvo_fail "the generation did not start"
run=$(children)
KANVO_TEST_PIDS+=($run)
kanvo_focus_window "$window"
start=$(date +%s%N)
xdotool key ctrl+q
kanvo_wait_exit "$KANVO_APP_PID" 15 || kanvo_fail "kanvo exited with status $?"
elapsed_ms=$((($(date +%s%N) - start) / 1000000))
echo "quit took $elapsed_ms ms"
((elapsed_ms < 6000)) || kanvo_fail "quitting took $elapsed_ms ms, more than 6 s"
