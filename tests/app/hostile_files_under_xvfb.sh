#!/usr/bin/env bash
# A sample of hostile files through the whole application under Xvfb (the
# in-process sweep, canvas_hostile_files, takes every file): a picture with a
# non-ASCII name from the command line in the C locale, then through the
# Open dialog files whose header is refused (text named .png, a FIFO named
# .png, a PPM of zero width, a corpus file libjpeg refuses outright), each of
# which must alert and leave the picture on screen, and files whose header is
# accepted but whose pixels cannot be (a PNG claiming 2147483647 x 2147483647,
# a 1.6 GB decompression bomb), which must not alert and leave no picture.
# Throughout, the process must stay under 512 MB; Ctrl+Q must end it cleanly.
set -euo pipefail
source "$(dirname "$0")/lib.sh"
kanvo=${1:?usage: $0 path/to/kanvo}
files=$KANVO_TEST_TMP/files
mkdir -p "$files"

# PNGs written by node's zlib: a picture, a header claiming the largest size,
# and a 20000 x 20000 one-bit bomb (50 kB that would decode to 1.6 GB).
node - "$files" <<'EOF'
const { writeFileSync } = require('node:fs');
const { crc32, deflateSync } = require('node:zlib');
const chunk = (type, data) => {
  const head = Buffer.alloc(8);
  head.writeUInt32BE(data.length);
  head.write(type, 4, 'latin1');
  const crc = Buffer.alloc(4);
  crc.writeUInt32BE(crc32(Buffer.concat([head.subarray(4), data])));
  return Buffer.concat([head, data, crc]);
};
const png = (width, height, depth, colour, rows) => {
  const header = Buffer.alloc(13);
  header.writeUInt32BE(width);
  header.writeUInt32BE(height, 4);
  header[8] = depth;
  header[9] = colour;
  return Buffer.concat([Buffer.from('89504e470d0a1a0a', 'hex'), chunk('IHDR', header),
    chunk('IDAT', deflateSync(rows, { level: 9 })), chunk('IEND', Buffer.alloc(0))]);
};
const dir = process.argv[2];
const magentaRow = Buffer.concat([Buffer.from([0]), Buffer.from('ff00ff'.repeat(400), 'hex')]);
const picture = png(400, 200, 8, 2, Buffer.concat(Array(200).fill(magentaRow)));
writeFileSync(`${dir}/фото ü 写真.png`, picture);
writeFileSync(`${dir}/picture.png`, picture); // xdotool types ASCII reliably
writeFileSync(`${dir}/huge.png`, png(0x7fffffff, 0x7fffffff, 8, 2, Buffer.alloc(64)));
writeFileSync(`${dir}/bomb.png`, png(20000, 20000, 1, 0, Buffer.alloc(20000 * 2501)));
EOF
printf 'plain text, not a picture\n' >"$files/notes.png"
mkfifo "$files/fifo.png"
printf 'P6\n0 30\n255\n' >"$files/zero-width.ppm"
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

peak_mb() { awk '/^VmHWM:/ { print int($2 / 1024) }' "/proc/$KANVO_APP_PID/status"; }
windows() { xdotool search --onlyvisible --pid "$KANVO_APP_PID" 2>/dev/null | wc -l; }
main_windows=$(windows)

# Opens $1 through Ctrl+O and the Open dialog.
open_file() {
    kanvo_focus_window "$window"
    xdotool key ctrl+o
    kanvo_choose_in_open_dialog "$1"
}
# An alert is one more window of the process; Return closes it.
alert_shown() { (($(windows) > main_windows)); }
alert_gone() { (($(windows) <= main_windows)); }
close_alert() { xdotool key Return && kanvo_wait_until alert_gone; }

for refused in "$files/notes.png" "$files/fifo.png" "$files/zero-width.ppm" "$refused_by_libjpeg"; do
    [[ -e $refused ]] || { echo "skipped $refused: the public corpora are absent"; continue; }
    open_file "$refused"
    kanvo_wait_until alert_shown || kanvo_fail "no alert for $refused"
    close_alert
    picture_kept || kanvo_fail "$refused took the previous picture away: $(kanvo_image_bounds)"
done

for undecodable in "$files/huge.png" "$files/bomb.png"; do
    open_file "$undecodable"
    kanvo_wait_until no_picture || kanvo_fail "$undecodable left a picture: $(kanvo_image_bounds)"
    alert_shown && kanvo_fail "$undecodable alerted, though its header was accepted"
    open_file "$files/picture.png"
    kanvo_wait_until picture_kept || kanvo_fail "no picture after $undecodable"
done

(($(peak_mb) < 512)) || kanvo_fail "kanvo peaked at $(peak_mb) MB"
kanvo_focus_window "$window"
xdotool key ctrl+q
kanvo_wait_exit "$KANVO_APP_PID" 15 || kanvo_fail "kanvo exited with status $?"
