#!/usr/bin/env bash
# The real binary on a private X display: H and a drag pan the view, V and a
# drag move the layer, and a name typed into the inspector reaches the
# canvas's name tag while its letters select no tool.
set -euo pipefail
source "$(dirname "$0")/../app/lib.sh"

kanvo_launch_with_image "${1:?usage: $0 path/to/kanvo}"
# Palette buttons of move, crop, hand, zoom: the selected one is filled with the accent.
button_tops=(57 88 128 159)
selected_tool_is() {
    local x=$((ws_x + 26)) y=$((ws_y + button_tops[$1] + 2))
    import -window root "$shot"
    [[ $(convert "$shot" -format "%[pixel:p{$x,$y}]" info:) == "srgb(20,99,240)" ]]
}
drag() {
    xdotool mousemove "$1" "$2" mousedown 1
    for i in {1..10}; do xdotool mousemove $(($1 + $3 * i / 10)) $(($2 + $4 * i / 10)); done
    xdotool mouseup 1
}
# Width of the accent-coloured name tag above the layer's top edge.
tag_width() {
    local box top
    box=$(kanvo_image_bounds) top=${box##*+}
    convert "$shot" -crop "1116x$((top - 2 - canvas_y))+$canvas_x+$canvas_y" -fill black \
        +opaque '#1463f0' -trim -format '%w' info: 2>/dev/null
}
xdotool key h
kanvo_wait_until selected_tool_is 2 || kanvo_fail "H did not select the hand tool"
drag $((canvas_x + 500)) $((canvas_y + 400)) -60 60
kanvo_wait_until kanvo_image_is "956x478+$((canvas_x + 20))+$((canvas_y + 222))" ||
    kanvo_fail "the hand drag left the image at $(kanvo_image_bounds)"

xdotool key v
kanvo_wait_until selected_tool_is 0 || kanvo_fail "V did not select the move tool"
drag $((canvas_x + 600)) $((canvas_y + 450)) 150 0
moved_right() { local box=$(kanvo_image_bounds) && box=${box#*+} && ((${box%%+*} > canvas_x + 120)); }
kanvo_wait_until moved_right || kanvo_fail "the move drag left the image at $(kanvo_image_bounds)"

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
