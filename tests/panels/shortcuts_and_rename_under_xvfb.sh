#!/usr/bin/env bash
# The real kanvo binary on a private X display: H and a drag pan the view, V and
# a drag move the layer, and a name typed into the inspector reaches the
# canvas's name tag while its letters select no tool.
set -euo pipefail
source "$(dirname "$0")/../app/lib.sh"
kanvo_binary=${1:?usage: $0 path/to/kanvo}

# 400 x 200 fits the 1116 x 802 canvas as 956 x 478 at (80, 162) of the canvas,
# whose top-left corner is (54, 88) of the 1500 x 920 workspace.
image=$KANVO_TEST_TMP/vivid.png
convert -size 400x200 xc:'#ff00ff' "$image"
kanvo_start_xvfb 1920x1200x24
kanvo_start_app "$kanvo_binary"
window=$(kanvo_find_window "Kanvo 2026")
kanvo_focus_window "$window"
xdotool key ctrl+o
kanvo_focus_window "$(kanvo_find_window "Open")"
xdotool type --delay 10 "$image"
xdotool key Return

read -r win_x win_y _ win_h < <(kanvo_window_geometry "$window")
ws_x=$win_x ws_y=$((win_y + win_h - 920))
canvas_x=$((ws_x + 54)) canvas_y=$((ws_y + 88))
shot=$KANVO_TEST_TMP/shot.png

image_bounds() { kanvo_screenshot "$shot" && kanvo_colour_bounds "$shot" '#ff00ff'; }
bounds_are() { [[ $(image_bounds) == "$1" ]]; }
# Palette buttons of move, crop, hand, zoom: the selected one is filled with the accent.
button_tops=(57 88 128 159)
selected_tool_is() {
    kanvo_screenshot "$shot"
    [[ $(kanvo_pixel "$shot" $((ws_x + 26)) $((ws_y + button_tops[$1] + 2))) == "srgb(20,99,240)" ]]
}
drag() {
    xdotool mousemove "$1" "$2" mousedown 1
    for i in 1 2 3 4 5 6 7 8 9 10; do xdotool mousemove $(($1 + $3 * i / 10)) $(($2 + $4 * i / 10)); done
    xdotool mouseup 1
}
# Width of the accent-coloured name tag above the layer's top edge.
tag_width() {
    local box top
    box=$(image_bounds) top=${box##*+}
    convert "$shot" -crop "1116x$((top - 2 - canvas_y))+$canvas_x+$canvas_y" +repage "$shot"
    box=$(kanvo_colour_bounds "$shot" '#1463f0')
    echo "${box%%x*}"
}

kanvo_wait_until bounds_are "956x478+$((canvas_x + 80))+$((canvas_y + 162))" ||
    kanvo_fail "the image is not shown fitted: $(image_bounds)"
selected_tool_is 0 || kanvo_fail "the move tool is not selected at start"

xdotool key h
kanvo_wait_until selected_tool_is 2 || kanvo_fail "H did not select the hand tool"
drag $((canvas_x + 500)) $((canvas_y + 400)) -60 60
panned="956x478+$((canvas_x + 20))+$((canvas_y + 222))"
kanvo_wait_until bounds_are "$panned" || kanvo_fail "the hand drag left the image at $(image_bounds)"

xdotool key v
kanvo_wait_until selected_tool_is 0 || kanvo_fail "V did not select the move tool"
drag $((canvas_x + 600)) $((canvas_y + 450)) 150 0
moved_right() { local box=$(image_bounds) && box=${box#*+} && ((${box%%+*} > canvas_x + 120)); }
kanvo_wait_until moved_right || kanvo_fail "the move drag left the image at $(image_bounds)"
kanvo_log "panned to $panned, then moved the layer to $(image_bounds)"

before=$(tag_width)
xdotool mousemove $((ws_x + 1320)) $((ws_y + 652)) click 1 key ctrl+a
xdotool type --delay 10 "Renamed sky layer"
xdotool key Return
tag_grew() { (($(tag_width) > before + $1)); }
kanvo_wait_until tag_grew 40 || kanvo_fail "the name tag stayed $(tag_width) wide (was $before)"

before=$(tag_width)
xdotool type --delay 10 "hzv"
xdotool key Return
kanvo_wait_until tag_grew 10 || kanvo_fail "shortcut letters did not reach the name field"
selected_tool_is 0 || kanvo_fail "typing into the name field changed the tool"
kanvo_log "the renamed layer's tag grew to $(tag_width) points"
