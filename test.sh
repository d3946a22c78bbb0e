#!/usr/bin/env bash
# Installs what is missing, builds the dev preset and runs every test.
# Ends with CTest's summary; exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh
cmake --preset dev >/dev/null
cmake --build --preset dev
ctest --preset dev --timeout 300 -j2 "$@"
