#!/usr/bin/env bash
# The real kanvo binary on a private X display: Ctrl+O, type the path of a
# solid magenta PNG into the file dialog, check that exactly the fitted image
# rectangle turns magenta, then quit with Ctrl+Q and check the process ends.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

kanvo_binary=${1:?usage: $0 path/to/kanvo}

# 400 x 200 in the 1116 x 802 canvas: the canvas rectangle is 956 x 658 at
# (80, 72), the fit scale 2.39, so the image is 956 x 478 at (80, 162) of the
# canvas, whose top-left corner is (54, 88) of the 1500 x 920 workspace.
image=$KANVO_TEST_TMP/vivid.png
convert -size 400x200 xc:'#ff00ff' "$image"
expected_size=956x478
expected_x=$((54 + 80))
expected_y=$((88 + 162))

kanvo_start_xvfb 1920x1200x24
kanvo_start_app "$kanvo_binary"
window=$(kanvo_find_window "Kanvo 2026")
kanvo_focus_window "$window"

xdotool key ctrl+o
dialog=$(kanvo_find_window "Open")
kanvo_focus_window "$dialog"
xdotool type --delay 10 "$image"
xdotool key Return

read -r win_x win_y win_w win_h < <(kanvo_window_geometry "$window")
[[ $win_w == 1500 ]] || kanvo_fail "window is $win_w wide, not 1500"
# The menu bar sits above the workspace, which fills the rest of the window.
workspace_x=$win_x
workspace_y=$((win_y + win_h - 920))

shot=$KANVO_TEST_TMP/opened.png
image_shown() {
    kanvo_screenshot "$shot"
    [[ $(kanvo_pixel_rgb "$shot" $((workspace_x + expected_x + 478)) $((workspace_y + expected_y + 239))) == "255 0 255" ]]
}
kanvo_wait_until image_shown || kanvo_fail "the opened image never appeared"

bounds=$(kanvo_colour_bounds "$shot" '#ff00ff')
want="${expected_size}+$((workspace_x + expected_x))+$((workspace_y + expected_y))"
[[ $bounds == "$want" ]] || kanvo_fail "magenta covers $bounds, expected $want"
kanvo_log "image shown at $bounds"

kanvo_focus_window "$window"
xdotool key ctrl+q
kanvo_wait_exit "$KANVO_APP_PID" 15 || kanvo_fail "kanvo exited with status $?"
kanvo_log "kanvo quit"
