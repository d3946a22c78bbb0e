#!/bin/bash
# Runs a copy of the test executable $1 nine folders deep in a fresh temporary
# tree, so the files it places around itself are the only ones its lookups find.
tree=$(mktemp -d "${TMPDIR:-/tmp}/kanvo-generate-tree.XXXXXX") || exit 1
trap 'rm -rf "$tree"' EXIT
bin=$tree/a/b/c/d/e/f/g/h/i/bin
mkdir -p "$bin" && cp "$1" "$bin/" && "$bin/$(basename "$1")"
