#!/usr/bin/env bash
# Installs what is missing, builds the release preset and runs every
# benchmark, printing one table of medians and ratios against baselines
# measured in the same run. KANVO_BENCH_SMOKE=1 runs them at tiny sizes.
set -euo pipefail
cd "$(dirname "$0")"

./scripts/install-deps.sh --bench
cmake --preset release >/dev/null
cmake --build --preset release
bin=$PWD/build/release/bin
out=$PWD/build/release/bench-results
mkdir -p "$out"
export KANVO_BENCH_IMAGES=$PWD/build/release/bench-images

echo "machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs), $(nproc) cores," \
    "$(free -g | awk '/^Mem:/ { print $2 }') GiB, $(c++ --version | head -n 1), Qt $(qtpaths6 --qt-version 2>/dev/null || echo 6)"
# The core's own hot paths, with their ratio counters.
"$bin/kanvo_core_bench" --benchmark_min_time=0.05 >&2
"$bin/kanvo_image_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
    --benchmark_out="$out/image.json" --benchmark_out_format=json >&2
KANVO_CACHE_MB=${KANVO_CACHE_MB:-3072} "$bin/kanvo_memory_bench" | tee "$out/memory.txt" >&2
KANVO_CACHE_MB=${KANVO_CACHE_MB:-3072} "$bin/kanvo_memory_bench" --export | tee -a "$out/memory.txt" >&2

# Start-up and time to first pixels: one X server with no window manager for
# every run. Like a desktop's, it stays up between clients (-noreset): a
# server that starts over whenever its last client leaves makes the next
# program wait for it, or on a slow host refuses it outright.
rm -f "$out/display"
Xvfb -displayfd 3 -screen 0 1920x1200x24 -nolisten tcp -noreset 3>"$out/display" 2>"$out/xvfb.log" &
xvfb=$!
trap 'kill "$xvfb" 2>/dev/null || true' EXIT
until [ -s "$out/display" ]; do
    kill -0 "$xvfb" 2>/dev/null || { cat "$out/xvfb.log" >&2; exit 1; }
    sleep 0.1
done
export DISPLAY=":$(<"$out/display")"
"$bin/kanvo_startup_harness" "$bin/kanvo" "$bin/kanvo_minimal_window" "${KANVO_STARTUP_RUNS:-15}" |
    tee "$out/startup.txt" >&2
# The other viewers, each timed when installed (scripts/install-deps.sh
# --bench tries them all); a missing one is passed as NAME= and its rows
# say it is skipped.
peers=()
for viewer in feh geeqie qimgv nsxiv gwenview eog; do
    peers+=(--peer "$viewer=$(command -v "$viewer" || true)")
    command -v "$viewer" >/dev/null ||
        echo "bench: $viewer is not installed, so the launch-to-pixels rows against it are skipped" >&2
done
# Kanvo's lead on the screen rows comes from decoding on a second core, so
# they read higher when other work holds the cores; the load goes with them.
load=$(cut -d' ' -f1 /proc/loadavg)
"$bin/kanvo_pixels_harness" "$bin/kanvo_pixel_sampler" "$bin/kanvo" \
    "$bin/kanvo_bare_viewer" "$bin/kanvo_reader_decode" "${peers[@]}" --runs "${KANVO_PIXELS_RUNS:-7}" \
    --huge-runs "${KANVO_PIXELS_HUGE_RUNS:-3}" |
    tee "$out/pixels.txt" >&2
echo "load average before the screen measures: $load on $(nproc) cores" >"$out/load.txt"
echo
cat "$out/load.txt"
node bench/report.mjs "$out/image.json" "$out/memory.txt" "$out/startup.txt" "$out/pixels.txt"
