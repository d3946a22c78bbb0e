#include "kanvo/ui/snapping.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <random>

namespace {

using Clock = std::chrono::steady_clock;

kanvo::ui::Document documentWithLayers(std::size_t count) {
    kanvo::ui::Document document;
    document.canvas = {4000, 3000};
    std::mt19937 random(7);
    std::uniform_int_distribution<int> position(0, 3800);
    std::uniform_int_distribution<std::size_t> side(20, 400);
    for (std::uint64_t id = 1; id <= count; ++id) {
        kanvo::ui::Layer layer;
        layer.id = id;
        layer.width = side(random);
        layer.height = side(random);
        layer.x = position(random);
        layer.y = position(random);
        document.layers.push_back(layer);
    }
    return document;
}

// The baseline touches every layer once, the least any pass over the stack
// can cost; the ratio shows what the ten tests and the guides add to that.
double touchEveryLayer(const kanvo::ui::Document& document) {
    double sum = 0;
    for (const auto& layer : document.layers) {
        sum += layer.x + layer.y + static_cast<double>(layer.width + layer.height);
    }
    return sum;
}

void MoveLayerWithSnapping(benchmark::State& state) {
    auto document = documentWithLayers(static_cast<std::size_t>(state.range(0)));
    Clock::duration moving{};
    Clock::duration touching{};
    double step = 1;
    for (auto _ : state) {
        const auto start = Clock::now();
        kanvo::ui::moveLayerWithSnapping(document, document.layers[0], step, step);
        benchmark::ClobberMemory();
        const auto moved = Clock::now();
        benchmark::DoNotOptimize(touchEveryLayer(document));
        const auto touched = Clock::now();
        moving += moved - start;
        touching += touched - moved;
        step = -step;
        state.SetIterationTime(std::chrono::duration<double>(moved - start).count());
    }
    state.counters["vs_one_pass"] =
        std::chrono::duration<double>(moving) / std::chrono::duration<double>(touching);
}

BENCHMARK(MoveLayerWithSnapping)->Arg(1000)->UseManualTime();

} // namespace
