#!/usr/bin/env bash
# Line coverage of sources by one fuzz target's inputs:
#   fuzz/coverage.sh <target> <source>...
# e.g. fuzz/coverage.sh fuzz_jpeg_pieces imaging/jpeg/KanvoJpegScan.cpp ...
# Builds the target with Clang's source-based coverage (and no sanitizer, so
# the counts are the code's own) in build/fuzz-coverage, runs it once over
# every input its long runs kept (build/fuzz/fuzz/found/<target>) and its
# regression files, and prints llvm-cov's report for the sources named.
set -euo pipefail
cd "$(dirname "$0")/.."

target=${1:?usage: fuzz/coverage.sh <target> <source>...}
shift
build_dir=${KANVO_FUZZ_COVERAGE_DIR:-build/fuzz-coverage}
cmake --preset fuzz -B "$build_dir" \
    -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link -fprofile-instr-generate -fcoverage-mapping" >/dev/null
cmake --build "$build_dir" -j2 --target "$target" >/dev/null

profiles=$(mktemp -d)
trap 'rm -rf "$profiles"' EXIT
inputs=()
for folder in "build/fuzz/fuzz/found/$target" "tests/data/fuzz/${target#fuzz_}"; do
    [ -d "$folder" ] && inputs+=("$folder")
done
LLVM_PROFILE_FILE="$profiles/run.profraw" "$build_dir/bin/$target" -runs=0 "${inputs[@]}" >/dev/null 2>&1
llvm-profdata-14 merge -sparse "$profiles/run.profraw" -o "$profiles/run.profdata"
llvm-cov-14 report "$build_dir/bin/$target" -instr-profile="$profiles/run.profdata" "$@"
