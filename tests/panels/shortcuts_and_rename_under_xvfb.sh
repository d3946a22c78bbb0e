#!/usr/bin/env bash
# H and a drag pan the view, V and a drag move the layer, and a name typed into
# the inspector, shortcut letters and all, reaches the canvas's name tag.
set -euo pipefail
source "$(dirname "$0")/../app/lib.sh"
kanvo_launch_with_image "${1:?usage: $0 path/to/kanvo}"

# A pan and a move shift the image alike, so the tool is read from its palette
# button (top edge $1), which the selected tool fills with the accent.
selected_tool_is() {
    import -window root "$shot"
    [[ $(convert "$shot" -format "%[pixel:p{$((ws_x + 26)),$((ws_y + $1 + 2))}]" info:) == "srgb(20,99,240)" ]]
}
drag() {
    xdotool mousemove "$1" "$2" mousedown 1
    for i in {1..10}; do xdotool mousemove $(($1 + $3 * i / 10)) $(($2 + $4 * i / 10)); done
    xdotool mouseup 1
}
xdotool key h
kanvo_wait_until selected_tool_is 128 || kanvo_fail "H did not select the hand tool"
drag $((canvas_x + 500)) $((canvas_y + 400)) -60 60
kanvo_wait_until kanvo_image_is "956x478+$((canvas_x + 20))+$((canvas_y + 222))" ||
    kanvo_fail "the hand drag left the image at $(kanvo_image_bounds)"
xdotool key v
kanvo_wait_until selected_tool_is 57 || kanvo_fail "V did not select the move tool"
drag $((canvas_x + 600)) $((canvas_y + 450)) 150 0
moved() { [[ $(kanvo_image_bounds) =~ \+([0-9]+)\+ ]] && ((BASH_REMATCH[1] > canvas_x + 120)); }
kanvo_wait_until moved || kanvo_fail "the move drag left the image at $(kanvo_image_bounds)"

tag_width() { # of the accent-coloured name tag above the layer's top edge
    local box=$(kanvo_image_bounds)
    convert "$shot" -crop "1116x$((${box##*+} - 2 - canvas_y))+$canvas_x+$canvas_y" -fill black \
        +opaque '#1463f0' -trim -format '%w' info: 2>/dev/null
}
before=$(tag_width)
xdotool mousemove $((ws_x + 1320)) $((ws_y + 652)) click 1 key ctrl+a
xdotool type --delay 10 "hzvchzvchzvc" && xdotool key Return
grew() { (($(tag_width) > before + 40)); }
kanvo_wait_until grew || kanvo_fail "the name tag stayed $(tag_width) wide (was $before)"
