#!/usr/bin/env bash
# Installs what is missing, builds the optimised application and packs it as
# a Debian package; prints the package's path.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh
cmake --preset package >/dev/null
cmake --build --preset package
(cd build/package && cpack -G DEB >/dev/null)
ls "$PWD"/build/package/kanvo_*.deb
