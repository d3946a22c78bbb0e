#!/bin/bash
# Runs a copy of a test executable nine folders deep inside a fresh temporary
# tree, so that the files it places around itself are the only ones its
# lookups can find: none of the repository's own files lie above it.
# Usage: run-from-temp-tree.sh <executable> [arguments...]
set -euo pipefail
executable=$1
shift
tree=$(mktemp -d "${TMPDIR:-/tmp}/kanvo-generate-tree.XXXXXX")
trap 'rm -rf "$tree"' EXIT
bin=$tree/a/b/c/d/e/f/g/h/i/bin
mkdir -p "$bin"
cp "$executable" "$bin/"
status=0
"$bin/$(basename "$executable")" "$@" || status=$?
exit "$status"
