#include "image_bytes.h"
#include "kanvo/ui/image_inspection.h"
#include "temp_dir.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <fstream>
#include <iterator>

namespace {

using namespace kanvo::test;
using Clock = std::chrono::steady_clock;

// Camera files carry megabytes of metadata before the frame header; the
// walk must seek over it rather than read it.
std::string jpegWithLargeAppSegments(int segments) {
    std::string bytes = jpegStart;
    for (int i = 0; i < segments; ++i) {
        bytes += jpegSegment(0xE1, std::string(65533, char('a' + i % 26)));
    }
    return bytes + jpegSegment(0xC0, jpegFrameBody(6000, 4000));
}

std::string readWholeFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void InspectJpegWithLargeAppSegments(benchmark::State& state) {
    const TempDir dir;
    const auto path =
        dir.write("camera.jpg", jpegWithLargeAppSegments(static_cast<int>(state.range(0))));
    Clock::duration inspecting{};
    Clock::duration reading{};
    for (auto _ : state) {
        const auto start = Clock::now();
        benchmark::DoNotOptimize(kanvo::ui::inspectImageFile(path));
        const auto inspected = Clock::now();
        benchmark::DoNotOptimize(readWholeFile(path));
        const auto read = Clock::now();
        inspecting += inspected - start;
        reading += read - inspected;
        state.SetIterationTime(std::chrono::duration<double>(inspected - start).count());
    }
    state.counters["vs_full_read"] =
        std::chrono::duration<double>(inspecting) / std::chrono::duration<double>(reading);
    state.SetLabel(std::to_string(std::filesystem::file_size(path) >> 10) + " KiB");
}

BENCHMARK(InspectJpegWithLargeAppSegments)->Arg(16)->Arg(256)->UseManualTime();

} // namespace
