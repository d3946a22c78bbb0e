#!/usr/bin/env bash
# Hostile files through the whole application under Xvfb (the in-process
# sweep, canvas_hostile_files, takes every file): a picture with a non-ASCII
# name from the command line in the C locale; then through the Open dialog,
# files whose header is refused (text named .png, a FIFO named .png, a corpus
# file libjpeg refuses outright) must alert and leave the picture on screen,
# and a header claiming 2147483647 x 2147483647 must not alert and leave no
# picture. The process stays under 512 MB; Ctrl+Q ends it cleanly.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
kanvo=${1:?usage: $0 path/to/kanvo}
files=$KANVO_TEST_TMP/files
mkdir -p "$files"
convert -size 400x200 xc:'#ff00ff' "$files/picture.png" # xdotool types ASCII reliably
cp "$files/picture.png" "$files/фото ü 写真.png"
printf 'plain text, not a picture\n' >"$files/notes.png"
mkfifo "$files/fifo.png"
huge=$(cd "$(dirname "$0")/.." && pwd)/data/fuzz/decode_file/png-header-2147483647x2147483647.png
# The public corpora lie beside the project's root, or where KANVO_CORPUS_DIR says.
corpora=${KANVO_CORPUS_DIR:-$(cd "$(dirname "$0")/../.." && pwd)/../shared/corpora}
refused_by_libjpeg=$corpora/jpeg/jpeg-decoder-crashtest/images/empty.jpg

kanvo_start_xvfb
LC_ALL=C LANG=C kanvo_start_app "$kanvo" "$files/фото ü 写真.png"
window=$(kanvo_find_window "Kanvo 2026")
shot=$KANVO_TEST_TMP/shot.png
eval "$(xdotool getwindowgeometry --shell "$window" | grep -E '^(X|Y|HEIGHT)=')"
canvas_x=$((X + 54)) canvas_y=$((Y + HEIGHT - 832))
picture_kept() { kanvo_image_is "956x478+$((canvas_x + 80))+$((canvas_y + 162))"; }
# With no magenta pixel left, the trim leaves ImageMagick's 1x1 placeholder.
no_picture() { [[ $(kanvo_image_bounds) =~ ^(1x1-1-1)?$ ]]; }
kanvo_wait_until picture_kept || kanvo_fail "the non-ASCII name was not opened: $(kanvo_image_bounds)"

windows() { xdotool search --onlyvisible --pid "$KANVO_APP_PID" 2>/dev/null | wc -l; }
main_windows=$(windows)
open_file() { kanvo_focus_window "$window" && xdotool key ctrl+o && kanvo_choose_in_open_dialog "$1"; }
# An alert is one more window of the process; Return closes it.
alert_shown() { (($(windows) > main_windows)); }
alert_gone() { (($(windows) <= main_windows)); }

for refused in "$files/notes.png" "$files/fifo.png" "$refused_by_libjpeg"; do
    [[ -e $refused ]] || { echo "skipped $refused: the public corpora are absent"; continue; }
    open_file "$refused"
    kanvo_wait_until alert_shown || kanvo_fail "no alert for $refused"
    xdotool key Return && kanvo_wait_until alert_gone
    picture_kept || kanvo_fail "$refused took the previous picture away: $(kanvo_image_bounds)"
done

open_file "$huge"
kanvo_wait_until no_picture || kanvo_fail "$huge left a picture: $(kanvo_image_bounds)"
alert_shown && kanvo_fail "$huge alerted, though its header was accepted"

peak_mb=$(awk '/^VmHWM:/ { print int($2 / 1024) }' "/proc/$KANVO_APP_PID/status")
((peak_mb < 512)) || kanvo_fail "kanvo peaked at $peak_mb MB"
kanvo_focus_window "$window"
xdotool key ctrl+q
kanvo_wait_exit "$KANVO_APP_PID" 15 || kanvo_fail "kanvo exited with status $?"
