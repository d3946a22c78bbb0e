#!/usr/bin/env bash
# Builds the fuzz preset and runs each fuzz target for a short while on its
# generated seed corpus; fails on any crash. Skipped (exit 0) when the
# compiler cannot link libFuzzer programs.
#   KANVO_FUZZ_BUILD_DIR  build folder (default build/fuzz)
#   KANVO_FUZZ_SECONDS    run time per target (default 20)
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${KANVO_FUZZ_BUILD_DIR:-build/fuzz}
seconds=${KANVO_FUZZ_SECONDS:-20}

probe_dir=$(mktemp -d)
trap 'rm -rf "$probe_dir"' EXIT
printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n' \
    >"$probe_dir/probe.cpp"
if ! clang++ -fsanitize=fuzzer "$probe_dir/probe.cpp" -o "$probe_dir/probe" >/dev/null 2>&1; then
    echo "fuzz smoke test skipped: clang++ cannot link a -fsanitize=fuzzer program"
    exit 0
fi

cmake --preset fuzz -B "$build_dir" >/dev/null
cmake --build "$build_dir" -j2

# New inputs found during the run go to a scratch folder, so the generated
# seed corpus stays as the build made it.
artifacts="$build_dir/fuzz/artifacts"
mkdir -p "$artifacts"
for target in fuzz_inspect_image fuzz_tool_manifest fuzz_decode_image; do
    found="$probe_dir/$target"
    mkdir -p "$found"
    echo "fuzzing $target for ${seconds}s"
    if ! "$build_dir/bin/$target" -max_total_time="$seconds" -print_final_stats=1 \
        -artifact_prefix="$artifacts/$target-" \
        "$found" "$build_dir/fuzz/corpus/$target" 2>&1 | tail -n 12; then
        echo "fuzz target $target failed; the crashing input is in $artifacts" >&2
        exit 1
    fi
done
echo "fuzz smoke test passed"
