# Shared helpers for whole-app tests: a private Xvfb display, the real kanvo
# binary on it, xdotool to drive it and ImageMagick to read what it shows.
#
# Source this file from a bash test script (set -euo pipefail is fine).
# Every process started here is recorded and ended by pid on exit; nothing
# else is touched. Each test gets its own display (Xvfb -displayfd picks a
# free one), so tests can run in parallel.

KANVO_TEST_PIDS=()
KANVO_TEST_TMP=$(mktemp -d "${TMPDIR:-/tmp}/kanvo-app-test.XXXXXX")

kanvo_log() { echo "[$(date +%H:%M:%S)] $*" >&2; }

kanvo_fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Ends the recorded processes, newest first, then removes the scratch folder.
kanvo_cleanup() {
    local i pid
    for ((i = ${#KANVO_TEST_PIDS[@]} - 1; i >= 0; i--)); do
        pid=${KANVO_TEST_PIDS[i]}
        if kill -0 "$pid" 2>/dev/null; then
            kill -TERM "$pid" 2>/dev/null || true
            wait "$pid" 2>/dev/null || true
        fi
    done
    rm -rf "$KANVO_TEST_TMP"
}
trap kanvo_cleanup EXIT

# Starts Xvfb on a free display with the given screen (default 1920x1200x24)
# and exports DISPLAY once the server has announced that it is ready.
kanvo_start_xvfb() {
    local screen=${1:-1920x1200x24}
    local fifo=$KANVO_TEST_TMP/displayfd
    mkfifo "$fifo"
    Xvfb -displayfd 3 -screen 0 "$screen" -nolisten tcp 3>"$fifo" >"$KANVO_TEST_TMP/xvfb.log" 2>&1 &
    KANVO_TEST_PIDS+=($!)
    local display
    if ! read -r -t 20 display <"$fifo"; then
        cat "$KANVO_TEST_TMP/xvfb.log" >&2
        kanvo_fail "Xvfb did not announce a display within 20 s"
    fi
    export DISPLAY=":$display"
    kanvo_log "Xvfb ready on $DISPLAY"
}

# Starts the kanvo binary on the current display. Sets KANVO_APP_PID.
# No platform theme, so file dialogs are Qt's own widgets and no desktop
# portal is asked for anything.
kanvo_start_app() {
    local binary=$1
    shift
    QT_QPA_PLATFORM=xcb QT_QPA_PLATFORMTHEME= "$binary" "$@" >"$KANVO_TEST_TMP/app.log" 2>&1 &
    KANVO_APP_PID=$!
    KANVO_TEST_PIDS+=("$KANVO_APP_PID")
}

# Prints the id of the first visible window whose whole title is $1, waiting
# for it to appear for at most $2 seconds (default 20).
kanvo_find_window() {
    local title=$1 limit=${2:-20} id
    id=$(timeout "$limit" xdotool search --sync --onlyvisible --name "^${title}\$" | head -n 1) ||
        kanvo_fail "no window titled \"$title\" within $limit s"
    echo "$id"
}

# Gives the window the keyboard focus; there is no window manager to do it.
kanvo_focus_window() {
    xdotool windowfocus --sync "$1"
}

# Prints "X Y WIDTH HEIGHT" of a window's client area in screen coordinates.
kanvo_window_geometry() {
    local X Y WIDTH HEIGHT
    eval "$(xdotool getwindowgeometry --shell "$1" | grep -E '^(X|Y|WIDTH|HEIGHT)=')"
    echo "$X $Y $WIDTH $HEIGHT"
}

# Saves a screenshot of the whole screen to $1.
kanvo_screenshot() {
    import -window root "$1"
}

# Prints the colour of pixel (x, y) of an image file, e.g. "srgb(255,0,255)".
kanvo_pixel() {
    convert "$1" -format "%[pixel:p{$2,$3}]" info:
}

# Prints the pixel (x, y) of an image file as three 0-255 integers "R G B".
kanvo_pixel_rgb() {
    convert "$1" -format "%[fx:int(255*p{$2,$3}.r+0.5)] %[fx:int(255*p{$2,$3}.g+0.5)] %[fx:int(255*p{$2,$3}.b+0.5)]" info:
}

# Prints "WIDTHxHEIGHT+X+Y", the bounding box of the pixels of an image file
# that have exactly the colour $2 (e.g. "#ff00ff"); fails when there are none.
kanvo_colour_bounds() {
    local box
    box=$(convert "$1" -fill black +opaque "$2" -fill white -opaque "$2" -trim -format '%wx%h%O' info:)
    [[ $box != 1x1* ]] || kanvo_fail "no pixel of colour $2 in $1"
    echo "$box"
}

# Calls "$@" (a command that succeeds once the awaited state is visible) until
# it succeeds, for at most $KANVO_WAIT_LIMIT seconds (default 20).
kanvo_wait_until() {
    local deadline=$((SECONDS + ${KANVO_WAIT_LIMIT:-20}))
    until "$@"; do
        ((SECONDS < deadline)) || return 1
        sleep 0.2
    done
}

# Waits for the process $1 (a child of this shell) to end, at most $2 seconds
# (default 15). Returns its exit status, or fails when it did not end in time.
kanvo_wait_exit() {
    local pid=$1 limit=${2:-15} status=0
    timeout "$limit" tail --pid="$pid" -s 0.1 -f /dev/null ||
        kanvo_fail "process $pid did not end within $limit s"
    wait "$pid" || status=$?
    return "$status"
}
