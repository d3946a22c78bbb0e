#!/usr/bin/env bash
# Installs what is missing, builds the release preset and launches Kanvo.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release

# With no server of the user's own at a loopback sd_url, the local server
# serves that port while Kanvo runs, so Generate works out of the box: in
# front of the ComfyUI of comfyui_url when that is set, else drawing a
# stand-in picture. It reads the configuration through the generate
# script's own reader.
generation_server_pid=
start_generation_server() {
    local url port fifo ready
    url=$(node scripts/txt2img/settings.mjs resources/generate/defaults.toml | head -n 1) || return 0
    [[ $url =~ ^http://(127\.0\.0\.1|localhost):([0-9]+)$ ]] || return 0
    port=${BASH_REMATCH[2]}
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
        return 0
    fi
    fifo=$(mktemp -u "${TMPDIR:-/tmp}/kanvo-sd-server.XXXXXX")
    mkfifo "$fifo"
    scripts/kanvo-sd-server >"$fifo" &
    generation_server_pid=$!
    if read -r ready <"$fifo"; then
        echo "run.sh: $ready (see server/README.md)" >&2
    else
        echo "run.sh: the local generation server did not start; Generate will fail." >&2
        generation_server_pid=
    fi
    rm -f "$fifo"
}
stop_generation_server() {
    if [ -n "$generation_server_pid" ]; then
        kill "$generation_server_pid" 2>/dev/null || true
        wait "$generation_server_pid" 2>/dev/null || true
    fi
}
trap stop_generation_server EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

start_generation_server
status=0
build/release/bin/kanvo "$@" || status=$?
exit "$status"
