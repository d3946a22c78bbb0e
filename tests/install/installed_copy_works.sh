#!/usr/bin/env bash
# The Debian package, unpacked into a temporary root, is a complete Kanvo:
# started from an unrelated folder with no KANVO_ROOT and nothing from the
# source tree in reach, it lists its shipped tools, opens a file named on its
# command line, and its Generate bar, against the packaged local server,
# brings an image onto the canvas.
# Usage: installed_copy_works.sh <build folder> <repository>
set -euo pipefail
build=$1
source "$2/tests/app/lib.sh"
unset KANVO_ROOT

(cd "$KANVO_TEST_TMP" && cpack --config "$build/CPackConfig.cmake" -G DEB -B "$KANVO_TEST_TMP/pkg" >/dev/null) ||
    kanvo_fail "cpack could not build the package"
deb=$(ls "$KANVO_TEST_TMP"/pkg/kanvo_*_*.deb)
depends=$(dpkg-deb -f "$deb" Depends)
for needed in nodejs breeze-icon-theme libqt6svg6 libqt6widgets6 libqt6network6 libspng0 libdeflate0; do
    [[ $depends == *"$needed"* ]] || kanvo_fail "the package does not depend on $needed: $depends"
done
root=$KANVO_TEST_TMP/root
dpkg-deb -x "$deb" "$root"
share=$root/usr/share
for file in bin/kanvo share/applications/org.kanvo.Kanvo.desktop share/metainfo/org.kanvo.Kanvo.metainfo.xml \
    share/icons/hicolor/scalable/apps/org.kanvo.Kanvo.svg share/kanvo/scripts/kanvo-txt2img.mjs \
    share/kanvo/node_modules/smol-toml/package.json share/kanvo/node_modules/sharp/package.json \
    share/kanvo/scripts/txt2img/png-image.mjs share/kanvo/resources/generate/defaults.toml \
    share/kanvo/server/kanvo-sd-server.mjs share/kanvo/tools/10-move/tool.txt \
    bin/kanvo-sd-server lib/systemd/user/kanvo-sd-server.service; do
    [[ -e $root/usr/$file ]] || kanvo_fail "the package lacks $file"
done

# A terminal without a display still gets the version.
version=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$root/usr/bin/kanvo" --version 2>&1) ||
    kanvo_fail "kanvo --version failed: $version"
[[ $version == "Kanvo $(dpkg-deb -f "$deb" Version)" ]] || kanvo_fail "kanvo --version says: $version"

# The packaged server through its packaged launcher, and the packaged configuration pointed at it.
grep -qx 'ExecStart=kanvo-sd-server' "$root/usr/lib/systemd/user/kanvo-sd-server.service" ||
    kanvo_fail "the systemd user unit does not start kanvo-sd-server"
kanvo_start_server "$root/usr/bin/kanvo-sd-server"
sed -i "s|^sd_url = .*|sd_url = \"$url\"|" "$share/kanvo/resources/generate/defaults.toml"
generations() { node -e 'fetch(process.argv[1], { signal: AbortSignal.timeout(5000) })
    .then((r) => r.json()).then((s) => console.log(s.txt2img_count))' "$url/kanvo/status"; }

# Started from a folder of its own, with a relative file name.
mkdir "$KANVO_TEST_TMP/elsewhere"
cd "$KANVO_TEST_TMP/elsewhere"
convert -size 400x200 xc:'#ff00ff' vivid.png
shot=$KANVO_TEST_TMP/shot.png
kanvo_start_xvfb
kanvo_start_app "$root/usr/bin/kanvo" vivid.png
window=$(kanvo_find_window "Kanvo 2026")
eval "$(xdotool getwindowgeometry --shell "$window" | grep -E '^(X|Y|HEIGHT)=')"
ws_x=$X ws_y=$((Y + HEIGHT - 920)) canvas_x=$((X + 54)) canvas_y=$((Y + HEIGHT - 832))
kanvo_wait_until kanvo_image_is "956x478+$((canvas_x + 80))+$((canvas_y + 162))" ||
    kanvo_fail "the file named on the command line is not shown fitted: $(kanvo_image_bounds)"

# One band of non-background pixels per tool button down the palette.
palette_tools() {
    convert "$shot" -crop "40x400+$((ws_x + 7))+$ws_y" +repage "$KANVO_TEST_TMP/palette.png"
    local background
    background=$(convert "$KANVO_TEST_TMP/palette.png" -format '%[pixel:p{1,1}]' info:)
    convert "$KANVO_TEST_TMP/palette.png" -fuzz 3% -fill black -opaque "$background" \
        -fill white +opaque black -colorspace gray -scale '1x400!' -depth 8 txt:- |
        awk -F'[(),]' 'NR > 1 { if ($3 > 0) run++; else { if (run >= 6) n++; run = 0 } }
                       END { if (run >= 6) n++; print n + 0 }'
}
tools=$(palette_tools)
[[ $tools == 4 ]] || kanvo_fail "the palette shows $tools tools, expected the 4 shipped ones"

# Generate: the prompt field and the button sit in the bar at the canvas's foot.
kanvo_focus_window "$window"
xdotool mousemove $((ws_x + 340)) $((ws_y + 836)) click 1
xdotool type --delay 10 "a lighthouse at dusk"
xdotool mousemove $((ws_x + 652)) $((ws_y + 836)) click 1
# Done: the stand-in's 512 x 512 picture replaces the magenta image, and its
# accent-coloured layer frame spans the square fitted into the canvas.
layer_frame_width() {
    import -window root "$shot"
    convert "$shot" -crop "1116x802+$canvas_x+$canvas_y" +repage -fuzz 4% -fill black +opaque '#1463f0' \
        -trim -format '%w' info:
}
generated_is_shown() {
    [[ $(generations) == 1 && $(layer_frame_width) == 662 ]]
}
KANVO_WAIT_LIMIT=60 kanvo_wait_until generated_is_shown ||
    kanvo_fail "no generated image on the canvas ($(generations) requests, frame $(layer_frame_width) wide)"
kanvo_focus_window "$window"
xdotool key ctrl+q
kanvo_wait_exit "$KANVO_APP_PID" 15 || kanvo_fail "kanvo exited with status $?"
