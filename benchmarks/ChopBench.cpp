// Chopping the longest file an import reads: 240 s of a dense drum loop at 44.1 kHz, to 120 chips.
#include "material/Chop.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

namespace
{

// Sixteenth hits of noise and tone, like a busy drum loop, so onsets come every 107 ms.
std::vector<float> denseDrums (int frames, double rate)
{
    std::vector<float> x ((size_t) frames);
    std::uint32_t state = 1;
    const int step = (int) (rate * 60.0 / 140.0 / 4.0);
    for (int i = 0; i < frames; ++i)
    {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        const int k = i % step;
        const int hit = i / step;
        const float noise = (float) (state >> 8) / 8388608.0f - 1.0f;
        const float tone = std::sin ((float) k * (hit % 4 == 0 ? 0.007f : 0.05f));
        x[(size_t) i] = (hit % 2 == 0 ? tone : noise) * 0.8f * std::exp (-(float) k / (float) (hit % 3 == 0 ? 4000 : 600));
    }
    return x;
}

void chopLongestImport (benchmark::State& state)
{
    constexpr double rate = 44100.0;
    const auto left = denseDrums ((int) (rate * 240.0), rate);
    const auto right = left;
    for (auto _ : state)
        benchmark::DoNotOptimize (vl::chop (left.data(), right.data(), (int) left.size(), rate, 120, 7, -1));
    state.counters["x_realtime"] = benchmark::Counter (240.0 * (double) state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK (chopLongestImport)->Unit (benchmark::kMillisecond);

} // namespace
