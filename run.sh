#!/usr/bin/env bash
# Installs what is missing, builds the release preset and launches Kanvo.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release
if [ ! -x build/release/bin/kanvo ]; then
    echo "run.sh: the Kanvo window is not built yet; the core library and tests are." >&2
    exit 0
fi
exec build/release/bin/kanvo "$@"
