// Cost of the master chain per stereo frame, stage by stage and whole, on 256-frame chunks.
#include "engine/Master.h"
#include "family/GuldRecorder.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>

namespace
{

constexpr int chunk = 256;
constexpr double rate = 48000.0;

// A busy chunk: every lane sounding, the kick loud enough to duck.
struct Buses
{
    std::array<std::array<float, chunk>, 8> left {}, right {};
    std::array<const float*, 8> leftPointers {}, rightPointers {};

    Buses()
    {
        for (int lane = 0; lane < 8; ++lane)
        {
            for (int k = 0; k < chunk; ++k)
            {
                const double phase = 0.01 * (lane + 1) * k;
                left[(size_t) lane][(size_t) k] = (float) (0.3 * std::sin (phase));
                right[(size_t) lane][(size_t) k] = (float) (0.3 * std::cos (phase));
            }
            leftPointers[(size_t) lane] = left[(size_t) lane].data();
            rightPointers[(size_t) lane] = right[(size_t) lane].data();
        }
    }
};

// Reported as time per frame (the counter's inverse rate).
void perFrame (benchmark::State& state)
{
    state.counters["per_frame"] = benchmark::Counter ((double) state.iterations() * chunk,
                                                      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// A stage runs in place on a chunk refilled from the buses' sum each time, so it never sees its
// own output growing or dying away.
template <typename Stage>
void runStage (benchmark::State& state, Stage&& stage)
{
    const Buses buses;
    std::array<float, chunk> l {}, r {};
    for (auto _ : state)
    {
        l = buses.left[2];
        r = buses.right[3];
        stage (l.data(), r.data());
        benchmark::ClobberMemory();
    }
    perFrame (state);
}

void duckAndSum (benchmark::State& state)
{
    const Buses buses;
    vl::Duck duck;
    duck.prepare (rate);
    std::array<float, chunk> l {}, r {};
    for (auto _ : state)
    {
        duck.process (buses.leftPointers.data(), buses.rightPointers.data(), l.data(), r.data(), chunk);
        benchmark::ClobberMemory();
    }
    perFrame (state);
}
BENCHMARK (duckAndSum);

// Argument: SKIVA in percent.
void skiva (benchmark::State& state)
{
    vl::Skiva stage;
    stage.prepare (rate);
    const float amount = (float) state.range (0) / 100.0f;
    runStage (state, [&] (float* l, float* r) { stage.process (l, r, chunk, amount); });
}
BENCHMARK (skiva)->Arg (0)->Arg (15)->Arg (100);

// Argument: BAND in percent.
void band (benchmark::State& state)
{
    vl::Band stage;
    stage.prepare (rate);
    const float amount = (float) state.range (0) / 100.0f;
    runStage (state, [&] (float* l, float* r) { stage.process (l, r, chunk, amount); });
}
BENCHMARK (band)->Arg (0)->Arg (25)->Arg (100);

void monoBass (benchmark::State& state)
{
    vl::MonoBass stage;
    stage.prepare (rate);
    runStage (state, [&] (float* l, float* r) { stage.process (l, r, chunk); });
}
BENCHMARK (monoBass);

void ceiling (benchmark::State& state)
{
    vl::Ceiling stage;
    stage.prepare (rate);
    runStage (state, [&] (float* l, float* r) { stage.process (l, r, chunk); });
}
BENCHMARK (ceiling);

void recorderFeed (benchmark::State& state)
{
    gv::GuldRecorder recorder;
    recorder.prepare (5, rate);
    runStage (state, [&] (float* l, float* r) {
        for (int k = 0; k < chunk; ++k)
            recorder.record (l[k], r[k], true);
    });
}
BENCHMARK (recorderFeed);

// The whole chain at the default SKIVA 0.15 and BAND 0.25, feeding the recorder.
void wholeChain (benchmark::State& state)
{
    const Buses buses;
    vl::MasterChain chain;
    chain.prepare (rate);
    gv::GuldRecorder recorder;
    recorder.prepare (5, rate);
    const vl::EngineParams p;
    std::array<float, chunk> l {}, r {};
    for (auto _ : state)
    {
        chain.process (p, buses.leftPointers.data(), buses.rightPointers.data(), l.data(), r.data(), chunk, &recorder,
                       true);
        benchmark::ClobberMemory();
    }
    perFrame (state);
}
BENCHMARK (wholeChain);

} // namespace
