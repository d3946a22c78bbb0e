#!/usr/bin/env bash
# Installs what is missing, builds the release preset and launches Kanvo.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release

# The generation server address, read the way the app reads it: the first
# line that, trimmed of spaces and tabs, starts with sd_url; the value lies
# between its first and last double quote.
configured_sd_url() {
    local config=resources/generate/defaults.toml line value
    if [ -r "$config" ]; then
        while IFS= read -r line || [ -n "$line" ]; do
            line=${line#"${line%%[![:blank:]]*}"}
            case $line in sd_url*) ;; *) continue ;; esac
            value=${line#*\"}
            case $value in *\"*) ;; *) continue ;; esac
            printf '%s\n' "${value%\"*}"
            return
        done <"$config"
    fi
    printf '%s\n' "http://127.0.0.1:51544"
}

# With no server of the user's own at a loopback sd_url, the local stand-in
# serves that port while Kanvo runs, so Generate works out of the box.
generation_server_pid=
start_generation_server() {
    local url port fifo ready
    url=$(configured_sd_url)
    [[ $url =~ ^http://(127\.0\.0\.1|localhost):([0-9]+)$ ]] || return 0
    port=${BASH_REMATCH[2]}
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
        return 0
    fi
    fifo=$(mktemp -u "${TMPDIR:-/tmp}/kanvo-sd-server.XXXXXX")
    mkfifo "$fifo"
    node server/kanvo-sd-server.mjs --port "$port" >"$fifo" &
    generation_server_pid=$!
    if read -r ready <"$fifo"; then
        echo "run.sh: $ready (a stand-in; see server/README.md)" >&2
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
