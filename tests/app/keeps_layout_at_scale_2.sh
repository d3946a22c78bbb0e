#!/usr/bin/env bash
# With QT_SCALE_FACTOR=2 the window keeps its layout: its size, the fitted
# image and every tool button of the palette sit at exactly twice their
# device-pixel places at scale 1.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
kanvo=${1:?usage: $0 path/to/kanvo}
convert -size 400x200 xc:'#ff00ff' "$KANVO_TEST_TMP/vivid.png"
shot=$KANVO_TEST_TMP/shot.png
kanvo_start_xvfb 3200x2100x24

# The rows, relative to the window's top, where each palette button's icon
# starts and ends: runs of rows in the palette column that differ from its
# background, ignoring the one-pixel separators.
palette_rows() { # $1 = scale
    local column=$KANVO_TEST_TMP/palette.png background
    convert "$shot" -crop "$((36 * $1))x$((400 * $1))+$((X + 9 * $1))+$ws_y" +repage "$column"
    background=$(convert "$column" -format '%[pixel:p{1,10}]' info:)
    convert "$column" -fuzz 3% -fill black -opaque "$background" -fill white +opaque black \
        -colorspace gray -scale "1x$((400 * $1))!" -depth 8 txt:- |
        awk -F'[(),:]' -v min=$((6 * $1)) -v top=$((ws_y - Y)) '
            NR > 1 { row = $2 + 0; if ($4 > 0) { if (!run) start = row; run++ }
                     else { if (run >= min) printf "%d-%d ", start + top, row - 1 + top; run = 0 } }'
}

# Prints the window's size, the image's bounds and the palette rows, all in
# device pixels relative to the window.
measure() { # $1 = scale
    QT_SCALE_FACTOR=$1 kanvo_start_app "$kanvo" "$KANVO_TEST_TMP/vivid.png"
    window=$(kanvo_find_window "Kanvo 2026")
    eval "$(xdotool getwindowgeometry --shell "$window" | grep -E '^(X|Y|WIDTH|HEIGHT)=')"
    ws_y=$((Y + HEIGHT - 920 * $1))
    local fitted="$((956 * $1))x$((478 * $1))+$((X + (54 + 80) * $1))+$((ws_y + (88 + 162) * $1))"
    kanvo_wait_until kanvo_image_is "$fitted" ||
        kanvo_fail "at scale $1 the image is not where its layout puts it: $(kanvo_image_bounds)"
    echo "window ${WIDTH}x$HEIGHT"
    echo "palette $(palette_rows "$1")"
    kanvo_focus_window "$window"
    xdotool key ctrl+q
    kanvo_wait_exit "$KANVO_APP_PID" 15 || kanvo_fail "kanvo exited with status $?"
}

doubled() { # every number in the text, times two
    perl -pe 's/(\d+)/$1 * 2/ge'
}

single=$(measure 1)
double=$(measure 2)
[[ $(grep -c '[0-9]-' <<<"$single") == 1 && $(grep -o '[0-9]*-[0-9]*' <<<"$single" | wc -l) == 4 ]] ||
    kanvo_fail "expected the 4 shipped tools in the palette at scale 1: $single"
# An icon edge may fall one device pixel either way of the exact double.
paste <(doubled <<<"$single" | tr ' x-' '\n\n\n') <(tr ' x-' '\n\n\n' <<<"$double") |
    awk -v s="$single" -v d="$double" '
        $1 ~ /^[0-9]+$/ { diff = $1 - $2; if (diff > 1 || diff < -1) bad = 1 }
        $1 != $2 && ($1 !~ /^[0-9]+$/ || $2 !~ /^[0-9]+$/) { bad = 1 }
        END { if (bad) { print "FAIL: scale 2 is not scale 1 doubled:\n" s "\n" d > "/dev/stderr"; exit 1 } }'
