#!/usr/bin/env bash
# Installs what is missing, builds the dev preset and runs every test.
# Ends with CTest's summary; exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh
cmake --preset dev >/dev/null
cmake --build --preset dev
# A short libFuzzer run over every fuzz target (skipped without a
# libFuzzer-capable clang); before CTest so its summary ends the run.
./scripts/fuzz-smoke.sh
# The soak runs take minutes; CI runs them (ctest --preset dev -L soak).
ctest --preset dev --timeout 300 -j2 -LE soak "$@"
