#!/usr/bin/env bash
# Runs one fuzz target for a while:
#   fuzz/run.sh <target> <seconds> [libFuzzer options...]
# e.g. fuzz/run.sh fuzz_decode_file 600. Builds the fuzz preset first (Clang
# with libFuzzer). The run starts from the target's generated seeds (if it
# has any), its regression files (tests/data/fuzz/), the inputs earlier runs
# kept (build/fuzz/fuzz/found/<target>) and, for the image targets, the
# public corpora when that folder exists. New inputs are kept in the found
# folder.
# Any sanitizer report, a failed check, an input taking over 10 s (a hang;
# 60 s for the whole decode of a file, which may legitimately hold a
# gigabyte of pixels) or over 2 GB (4 GB; one allocation over 256 MB for
# the targets that make their own files) ends the run with status 1 and leaves the input in
# build/fuzz/fuzz/artifacts/: give it a name that says what it holds and add
# it under tests/data/fuzz/<target without fuzz_>/, where ctest replays it.
#   KANVO_FUZZ_BUILD_DIR   build folder (default build/fuzz)
#   KANVO_FUZZ_PUBLIC      0 to leave out the public corpora
#   KANVO_CORPUS_DIR       the public corpora (default ../shared/corpora)
set -euo pipefail
cd "$(dirname "$0")/.."

target=${1:?usage: fuzz/run.sh <target> <seconds> [libFuzzer options...]}
seconds=${2:?usage: fuzz/run.sh <target> <seconds> [libFuzzer options...]}
shift 2
build_dir=${KANVO_FUZZ_BUILD_DIR:-build/fuzz}
corpora=${KANVO_CORPUS_DIR:-../shared/corpora}

cmake --preset fuzz -B "$build_dir" >/dev/null
cmake --build "$build_dir" -j2 --target "$target" >/dev/null

found=$build_dir/fuzz/found/$target
artifacts=$build_dir/fuzz/artifacts
mkdir -p "$found" "$artifacts"
seeds=()
# A target with no regression files yet has no folder for them.
[ -d "tests/data/fuzz/${target#fuzz_}" ] && seeds+=("tests/data/fuzz/${target#fuzz_}")
case $target in
fuzz_decode_image | fuzz_decode_file) seeds+=("$build_dir/fuzz/corpus/images") ;;
fuzz_jpeg_pieces | fuzz_jpeg_bands | fuzz_png_unfilter | fuzz_png_bands | fuzz_ppm_bands | fuzz_glyph_file) ;; # make their files from the input: no generated seeds
*) seeds+=("$build_dir/fuzz/corpus/$target") ;;
esac
case $target in
fuzz_inspect_image | fuzz_decode_image | fuzz_decode_file)
    if [ "${KANVO_FUZZ_PUBLIC:-1}" != 0 ]; then
        if [ -d "$corpora" ]; then
            # Mutated JPEGs, the PNG suite, and the files that crashed other decoders.
            seeds+=("$corpora/jpeg/fuzz-found" "$corpora/png/pngsuite" "$corpora/png/libspng-crashers"
                "$corpora/png/libpng-testpngs/crashers" "$corpora/jpeg/jpeg-decoder-crashtest"
                "$corpora/jpeg/reported-bugs" "$corpora/ppm/libjpeg-turbo-compress")
        else
            echo "note: $corpora is absent; $target starts from its own seeds only"
        fi
    fi
    ;;
esac

# A file may claim up to the image budget's share for pixels, 1 GiB with the
# budget fixed here as on every machine, and a third more for the pyramid,
# which the fuzzer's instrumented loops take many seconds to fill.
export KANVO_CACHE_MB=5462
limits=(-timeout=10 -rss_limit_mb=2048)
[ "$target" = fuzz_decode_file ] && limits=(-timeout=60 -rss_limit_mb=4096)
# The files made from the input are a few kilobytes: the PNGs' images are at
# most 64 x 64, and the decode in pieces must refuse a JPEG frame its data
# cannot fill before allocating for it. Any allocation near a gigabyte
# follows a size that lied.
case $target in
fuzz_png_unfilter | fuzz_jpeg_pieces | fuzz_jpeg_bands) limits=(-timeout=10 -rss_limit_mb=2048 -malloc_limit_mb=256) ;;
esac

# The first folder receives what the run finds; the others are read only.
exec "$build_dir/bin/$target" -max_total_time="$seconds" "${limits[@]}" \
    -print_final_stats=1 -artifact_prefix="$artifacts/$target-" "$@" "$found" "${seeds[@]}"
