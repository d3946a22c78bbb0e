# The real binary on a private Xvfb display, driven by xdotool, read back with
# ImageMagick. Processes started here end by pid on exit, the app before Xvfb.

KANVO_TEST_PIDS=()
KANVO_TEST_TMP=$(mktemp -d "${TMPDIR:-/tmp}/kanvo-app-test.XXXXXX")

kanvo_fail() { # says why, with what the app printed, and ends the test
    echo "FAIL: $*" >&2
    [[ -s $KANVO_TEST_TMP/app.log ]] && sed 's/^/app: /' "$KANVO_TEST_TMP/app.log" | tail -n 40 >&2
    exit 1
}

kanvo_cleanup() {
    local pid
    for pid in $(printf '%s\n' "${KANVO_TEST_PIDS[@]}" | tac); do kill "$pid" && wait "$pid" || true; done 2>/dev/null
    rm -rf "$KANVO_TEST_TMP"
}
trap kanvo_cleanup EXIT

# Calls "$@" until it succeeds, for at most $KANVO_WAIT_LIMIT seconds (default 20).
kanvo_wait_until() {
    local deadline=$((SECONDS + ${KANVO_WAIT_LIMIT:-20}))
    until "$@"; do ((SECONDS < deadline)) && sleep 0.2 || return 1; done
}

# Starts the generation server "$@" on a free port; sets url to its address.
kanvo_start_server() {
    "$@" --port 0 >"$KANVO_TEST_TMP/server.out" &
    KANVO_TEST_PIDS+=($!)
    KANVO_WAIT_LIMIT=10 kanvo_wait_until grep -q listening "$KANVO_TEST_TMP/server.out" ||
        kanvo_fail "the generation server did not start"
    url=$(sed 's/.* //' "$KANVO_TEST_TMP/server.out")
}

# Exports DISPLAY once Xvfb (screen $1, default 1920x1200x24) has written its number.
kanvo_start_xvfb() {
    Xvfb -displayfd 3 -screen 0 "${1:-1920x1200x24}" -nolisten tcp 3>"$KANVO_TEST_TMP/display" \
        >"$KANVO_TEST_TMP/xvfb.log" 2>&1 &
    KANVO_TEST_PIDS+=($!)
    kanvo_wait_until grep -qs . "$KANVO_TEST_TMP/display" || kanvo_fail "no display: $(<"$KANVO_TEST_TMP/xvfb.log")"
    export DISPLAY=":$(<"$KANVO_TEST_TMP/display")"
}

# Runs "$@" and sets KANVO_APP_PID. With no platform theme, dialogs are Qt's
# own. With no session bus address libdbus would launch a bus for the display
# from a fork of the app (the menu bar asks for one), and under AddressSanitizer
# that child can hang on the allocator's lock, leaving the app without a window;
# an address nobody listens on gives Qt's own menu bar at once, as on a bare X.
# Settings (the screen ratio kept at quit) go to the test's own folder, so a
# run neither writes into the caller's home nor sees an earlier run's.
kanvo_start_app() {
    QT_QPA_PLATFORM=xcb QT_QPA_PLATFORMTHEME= DBUS_SESSION_BUS_ADDRESS="unix:path=$KANVO_TEST_TMP/no-bus" \
        XDG_CONFIG_HOME="$KANVO_TEST_TMP/config" "$@" >"$KANVO_TEST_TMP/app.log" 2>&1 &
    KANVO_APP_PID=$!
    KANVO_TEST_PIDS+=("$KANVO_APP_PID")
}

kanvo_find_window() { # prints the id of the visible window titled exactly $1
    timeout 20 xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1 | grep . ||
        kanvo_fail "no window titled \"$1\" within 20 s"
}

kanvo_focus_window() { xdotool windowfocus --sync "$1"; } # no window manager does it

kanvo_wait_exit() { # waits up to $2 s (default 15) for the child $1 to end; returns its status
    timeout "${2:-15}" tail --pid="$1" -s 0.1 -f /dev/null || kanvo_fail "process $1 did not end"
    wait "$1"
}

kanvo_open_dialogs() { xdotool search --onlyvisible --name '^Open$' 2>/dev/null; } # the dialog and its boxes
kanvo_open_dialog_gone() { [[ -z $(kanvo_open_dialogs) ]]; }
kanvo_open_dialog_alone() { (($(kanvo_open_dialogs | wc -l) == 1)); }

# Types the path $1 into the Open dialog and presses Return, until the dialog
# takes it. Under load xdotool can lose a key as the name field's completer
# pops up; the dialog then says the file was not found, and the path is typed
# again over what was typed before.
kanvo_choose_in_open_dialog() {
    local attempt
    for attempt in 1 2 3; do
        kanvo_focus_window "$(kanvo_find_window "Open")"
        xdotool key ctrl+a && xdotool type --delay 10 "$1" && xdotool key Return
        KANVO_WAIT_LIMIT=10 kanvo_wait_until kanvo_open_dialog_gone && return 0
        # The box saying "File not found." is the newest window of that title.
        kanvo_focus_window "$(kanvo_open_dialogs | tail -n 1)"
        xdotool key Return
        kanvo_wait_until kanvo_open_dialog_alone || kanvo_fail "the Open dialog's box stayed"
    done
    kanvo_fail "the Open dialog did not take $1"
}

# Prints "WIDTHxHEIGHT+X+Y" of the magenta pixels in a fresh screenshot $shot.
kanvo_image_bounds() {
    import -window root "$shot"
    convert "$shot" -fill black +opaque '#ff00ff' -trim -format '%wx%h%O' info: 2>/dev/null | grep -v '^1x1+'
}
kanvo_image_is() { [[ $(kanvo_image_bounds) == "$1" ]]; }

# Starts the binary $1 and opens a 400 x 200 magenta PNG through Ctrl+O and the
# file dialog; fitted into the 1116 x 802 canvas at (54, 88) of the workspace it
# shows as 956 x 478 at (80, 162). Sets window, shot and the screen positions of
# the workspace (ws_x/y) and canvas (canvas_x/y).
kanvo_launch_with_image() {
    local X Y HEIGHT
    shot=$KANVO_TEST_TMP/shot.png
    convert -size 400x200 xc:'#ff00ff' "$KANVO_TEST_TMP/vivid.png"
    kanvo_start_xvfb
    kanvo_start_app "$1"
    window=$(kanvo_find_window "Kanvo 2026")
    # Image-format plugins (and their codec libraries) are for opening files,
    # not for showing the window: loading them at start-up costs milliseconds.
    if grep -q /imageformats/ "/proc/$KANVO_APP_PID/maps" 2>/dev/null; then
        kanvo_fail "start-up loaded image-format plugins"
    fi
    kanvo_focus_window "$window"
    xdotool key ctrl+o
    kanvo_choose_in_open_dialog "$KANVO_TEST_TMP/vivid.png"
    eval "$(xdotool getwindowgeometry --shell "$window" | grep -E '^(X|Y|HEIGHT)=')"
    ws_x=$X ws_y=$((Y + HEIGHT - 920)) canvas_x=$((X + 54)) canvas_y=$((Y + HEIGHT - 832))
    kanvo_wait_until kanvo_image_is "956x478+$((canvas_x + 80))+$((canvas_y + 162))" ||
        kanvo_fail "the image is not shown fitted: $(kanvo_image_bounds)"
}
