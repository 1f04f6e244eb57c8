// Costs of the composing side of the engine: generation, mutation, steady bars and the worst jump.
#include "engine/Engine.h"
#include "family/Random.h"
#include "patterns/Generate.h"
#include "patterns/Mutate.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace
{

vl::EngineParams busyParams (float drift)
{
    vl::EngineParams p;
    for (auto& lane : p.lanes)
    {
        lane.niva = 0.7f;
        lane.drift = drift;
        lane.bakl = 0.2f;
    }
    p.bage = 0.7f;
    return p;
}

void generatePattern (benchmark::State& state)
{
    const int lane = (int) state.range (0);
    std::uint32_t seed = 1;
    for (auto _ : state)
        benchmark::DoNotOptimize (vl::generate (lane, vl::LaneGen {}, seed++));
}
BENCHMARK (generatePattern)->DenseRange (1, 7);

void mutatePattern (benchmark::State& state)
{
    auto pattern = vl::generate (3, vl::LaneGen {}, 42);
    vl::LaneMemory memory;
    gv::Rng rng (7);
    for (auto _ : state)
    {
        vl::mutate (3, pattern, memory, vl::LaneGen {}, rng);
        benchmark::DoNotOptimize (pattern);
    }
}
BENCHMARK (mutatePattern);

// The worst chunk: a jump far into the song replays 4096 bars of mutation on seven lanes at drift 1.
void relocationReplaying4096Bars (benchmark::State& state)
{
    const auto params = busyParams (1.0f);
    auto engine = std::make_unique<vl::Engine>();
    engine->prepare (48000.0, 5);
    float left[256], right[256];
    for (auto _ : state)
    {
        engine->resync = true;
        engine->processChunk (params, 124.0, 5000.0 * 4.0, true, left, right, 256);
    }
    state.counters["budget_ms"] = 256.0 / 48.0;
}
BENCHMARK (relocationReplaying4096Bars)->Unit (benchmark::kMillisecond);

// Steady playback: per bar, the sixteen scheduled sixteenths and one bar's work, without voices.
void steadyBar (benchmark::State& state)
{
    const auto params = busyParams (0.5f);
    auto engine = std::make_unique<vl::Engine>();
    engine->prepare (48000.0, 5);
    float left[256], right[256];
    const double quartersPerChunk = 256 * 124.0 / 60.0 / 48000.0;
    const int chunksPerBar = (int) std::ceil (4.0 / quartersPerChunk);
    double ppq = 0.0;
    for (auto _ : state)
        for (int c = 0; c < chunksPerBar; ++c, ppq += quartersPerChunk)
            engine->processChunk (params, 124.0, ppq, true, left, right, 256);
}
BENCHMARK (steadyBar)->Unit (benchmark::kMicrosecond);

} // namespace
