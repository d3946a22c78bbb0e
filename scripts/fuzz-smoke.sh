#!/usr/bin/env bash
# Runs every fuzz target for a short while (fuzz/run.sh, from its generated
# seeds and regression files); fails on any finding. Skipped (exit 0) when
# the compiler cannot link libFuzzer programs.
#   KANVO_FUZZ_BUILD_DIR  build folder (default build/fuzz)
#   KANVO_FUZZ_SECONDS    run time per target (default 20)
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${KANVO_FUZZ_SECONDS:-20}

probe_dir=$(mktemp -d)
trap 'rm -rf "$probe_dir"' EXIT
printf 'extern "C" int LLVMFuzzerTestOneInput(const unsigned char*, unsigned long) { return 0; }\n' \
    >"$probe_dir/probe.cpp"
if ! clang++ -fsanitize=fuzzer "$probe_dir/probe.cpp" -o "$probe_dir/probe" >/dev/null 2>&1; then
    echo "fuzz smoke test skipped: clang++ cannot link a -fsanitize=fuzzer program"
    exit 0
fi

build_dir=${KANVO_FUZZ_BUILD_DIR:-build/fuzz}
cmake --preset fuzz -B "$build_dir" >/dev/null
cmake --build "$build_dir" -j2

# The public corpora take longer to read in than a smoke run lasts; the
# long runs (fuzz/run.sh) start from them.
for target in fuzz_inspect_image fuzz_tool_manifest fuzz_sd_url_line fuzz_progress_answer \
    fuzz_decode_image fuzz_decode_file fuzz_jpeg_pieces fuzz_jpeg_bands fuzz_png_unfilter \
    fuzz_png_bands fuzz_ppm_bands fuzz_glyph_file; do
    echo "fuzzing $target for ${seconds}s"
    if ! KANVO_FUZZ_PUBLIC=0 fuzz/run.sh "$target" "$seconds" 2>&1 | tail -n 12; then
        echo "fuzz target $target failed; the input is in $build_dir/fuzz/artifacts" >&2
        exit 1
    fi
done
echo "fuzz smoke test passed"
