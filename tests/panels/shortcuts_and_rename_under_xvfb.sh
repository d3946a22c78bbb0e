#!/usr/bin/env bash
# The real kanvo binary on a private X display, driven like a user would:
# H then a drag pans the view, V then a drag moves the layer, and a new name
# typed into the inspector's name field appears in the canvas's name tag.
set -euo pipefail
source "$(dirname "$0")/../app/lib.sh"

kanvo_binary=${1:?usage: $0 path/to/kanvo}

# 400 x 200 in the 1116 x 802 canvas is fitted to 956 x 478 at (80, 162) of
# the canvas, whose top-left corner is (54, 88) of the 1500 x 920 workspace.
image=$KANVO_TEST_TMP/vivid.png
convert -size 400x200 xc:'#ff00ff' "$image"
magenta='#ff00ff'
accent='#1463f0'

kanvo_start_xvfb 1920x1200x24
kanvo_start_app "$kanvo_binary"
window=$(kanvo_find_window "Kanvo 2026")
kanvo_focus_window "$window"
xdotool key ctrl+o
dialog=$(kanvo_find_window "Open")
kanvo_focus_window "$dialog"
xdotool type --delay 10 "$image"
xdotool key Return

read -r win_x win_y _ win_h < <(kanvo_window_geometry "$window")
ws_x=$win_x
ws_y=$((win_y + win_h - 920))
canvas_x=$((ws_x + 54))
canvas_y=$((ws_y + 88))

shot=$KANVO_TEST_TMP/shot.png
# Prints the bounds of the magenta image in a fresh screenshot.
image_bounds() {
    kanvo_screenshot "$shot"
    kanvo_colour_bounds "$shot" "$magenta"
}
fitted="956x478+$((canvas_x + 80))+$((canvas_y + 162))"
bounds_are() { [[ $(image_bounds) == "$1" ]]; }
kanvo_wait_until bounds_are "$fitted" || kanvo_fail "the image is not shown fitted at $fitted"

# Drags with the left button from ($1, $2) by ($3, $4) in small steps.
drag() {
    local x=$1 y=$2 dx=$3 dy=$4 i
    xdotool mousemove "$x" "$y" mousedown 1
    for i in 1 2 3 4 5 6 7 8 9 10; do
        xdotool mousemove "$((x + dx * i / 10))" "$((y + dy * i / 10))"
    done
    xdotool mouseup 1
}

# True when the palette button at position $1 of the shipped tools (move,
# crop, hand, zoom) shows the selected look: accent fill below its top edge.
button_tops=(57 88 128 159)
selected_tool_is() {
    kanvo_screenshot "$shot"
    [[ $(kanvo_pixel "$shot" "$((ws_x + 26))" "$((ws_y + button_tops[$1] + 2))") == "srgb(20,99,240)" ]]
}
selected_tool_is 0 || kanvo_fail "the move tool is not selected at start"

# A click on the canvas gives it the keyboard focus, as a user would.
kanvo_focus_window "$window"
xdotool mousemove "$((canvas_x + 20))" "$((canvas_y + 20))" click 1

xdotool key h
kanvo_wait_until selected_tool_is 2 || kanvo_fail "H did not select the hand tool"
drag "$((canvas_x + 500))" "$((canvas_y + 400))" -60 60
panned="956x478+$((canvas_x + 20))+$((canvas_y + 222))"
kanvo_wait_until bounds_are "$panned" || kanvo_fail "hand drag left the image at $(image_bounds), not $panned"
kanvo_log "H and a drag panned the view to $panned"

xdotool key v
kanvo_wait_until selected_tool_is 0 || kanvo_fail "V did not select the move tool"
drag "$((canvas_x + 600))" "$((canvas_y + 450))" 150 0
moved_right() {
    local box x
    box=$(image_bounds)
    x=${box#*+}
    x=${x%%+*}
    ((x > canvas_x + 20 + 100))
}
kanvo_wait_until moved_right || kanvo_fail "move drag left the image at $(image_bounds)"
kanvo_log "V and a drag moved the layer to $(image_bounds)"

# The name tag is the accent-coloured box just above the layer's top edge.
tag_width() {
    local box top
    box=$(image_bounds)
    top=${box##*+}
    kanvo_screenshot "$shot"
    convert "$shot" -crop "1116x$((top - 2 - canvas_y))+${canvas_x}+${canvas_y}" +repage "$shot"
    box=$(kanvo_colour_bounds "$shot" "$accent")
    echo "${box%%x*}"
}
before=$(tag_width)

# The layer name field of the inspector's layers panel.
xdotool mousemove "$((ws_x + 1170 + 150))" "$((ws_y + 500 + 152))" click 1
xdotool key ctrl+a
xdotool type --delay 10 "Renamed sky layer"
xdotool key Return
tag_grew() { (($(tag_width) > before + 40)); }
kanvo_wait_until tag_grew || kanvo_fail "the name tag stayed $(tag_width) wide (was $before)"
kanvo_log "name tag grew from $before to $(tag_width) points"

# While the field has focus, shortcut letters type into it and leave the tool alone.
after=$(tag_width)
tag_grew_more() { (($(tag_width) > after)); }
xdotool type --delay 10 "hzv"
xdotool key Return
kanvo_wait_until tag_grew_more || kanvo_fail "letters typed into the name field did not reach it"
selected_tool_is 0 || kanvo_fail "typing into the name field changed the tool"
kanvo_log "letters typed into the name field stayed there"
