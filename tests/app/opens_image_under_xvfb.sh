#!/usr/bin/env bash
# An image opened through Ctrl+O and the file dialog fills exactly its fitted
# rectangle, and Ctrl+Q ends the process.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
kanvo_launch_with_image "${1:?usage: $0 path/to/kanvo}"
kanvo_focus_window "$window"
xdotool key ctrl+q
kanvo_wait_exit "$KANVO_APP_PID" 15 || kanvo_fail "kanvo exited with status $?"
