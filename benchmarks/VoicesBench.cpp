// Costs of the voices per output frame: the chip lanes at full polyphony, the kick, the bass and the lane channels.
#include "engine/Voices.h"
#include "family/Random.h"
#include "material/Virl.h"

#include <benchmark/benchmark.h>
#include <xmmintrin.h>

#include <memory>

namespace
{

constexpr int chunk = 256;

// Two seconds of noise per chip, four chips in every box.
std::unique_ptr<vl::Bank> noiseBank()
{
    auto bank = std::make_unique<vl::Bank>();
    gv::Rng rng (99);
    for (int b = 0; b < vl::numBoxes; ++b)
        for (int c = 0; c < 4; ++c)
        {
            auto chip = std::make_shared<vl::Virl>();
            chip->left.resize (96000);
            chip->right.resize (96000);
            for (size_t i = 0; i < chip->left.size(); ++i)
            {
                chip->left[i] = rng.uniform() - 0.5f;
                chip->right[i] = rng.uniform() - 0.5f;
            }
            chip->pitch = 60.0f + (float) c;
            chip->box = b;
            bank->boxes[(size_t) b].push_back (std::move (chip));
        }
    return bank;
}

struct Buses
{
    float left[vl::numLanes][chunk] {};
    float right[vl::numLanes][chunk] {};
    float* leftPointers[vl::numLanes];
    float* rightPointers[vl::numLanes];

    Buses()
    {
        for (int i = 0; i < vl::numLanes; ++i)
        {
            leftPointers[i] = left[i];
            rightPointers[i] = right[i];
        }
    }

    void clear()
    {
        for (int i = 0; i < vl::numLanes; ++i)
            for (int k = 0; k < chunk; ++k)
                left[i][k] = right[i][k] = 0.0f;
    }
};

vl::EngineParams busyParams()
{
    vl::EngineParams p;
    for (auto& lane : p.lanes)
    {
        lane.niva = 0.7f;
        lane.langd = 1.0f;
        lane.pan = 0.6f;
    }
    p.alder = 3; // VARM: the dearest sampler colour
    return p;
}

// The plug-in flushes denormals for its whole callback; measure under the same mode.
struct FlushDenormals
{
    unsigned int saved = _mm_getcsr();
    FlushDenormals() { _mm_setcsr (saved | 0x8040u); } // flush-to-zero and denormals-are-zero
    ~FlushDenormals() { _mm_setcsr (saved); }
};

void setFramesCounter (benchmark::State& state)
{
    state.counters["frame"] = benchmark::Counter ((double) state.iterations() * chunk,
                                                  benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Six lanes with range(0) voices each (6: full polyphony), a few octaves apart, half reversed.
void chipLanes (benchmark::State& state)
{
    const FlushDenormals flush;
    auto bank = noiseBank();
    const auto p = busyParams();
    auto voices = std::make_unique<vl::Voices>();
    voices->prepare (48000.0);
    Buses buses;
    std::uint32_t sixteenth = 0;
    for (auto _ : state)
    {
        for (int lane = vl::firstChipLane; lane < vl::numLanes; ++lane)
            for (int slot = 0; slot < state.range (0); ++slot)
                if (! voices->chipVoices[(size_t) (lane - vl::firstChipLane)][(size_t) slot].active)
                {
                    vl::Hit hit;
                    hit.lane = lane;
                    hit.velocity = 0.8f;
                    hit.pitch = (int) (sixteenth % 25) - 12;
                    hit.chip = (int) sixteenth;
                    hit.reverse = (sixteenth & 1) != 0;
                    hit.sixteenth = sixteenth++;
                    voices->fire (hit, p, bank.get(), -1, nullptr);
                }
        voices->render (p, 0.0f, buses.leftPointers, buses.rightPointers, 0, chunk);
        benchmark::DoNotOptimize (buses.left[2][0]);
    }
    setFramesCounter (state);
}
BENCHMARK (chipLanes)->Arg (1)->Arg (6);

void kick (benchmark::State& state)
{
    const FlushDenormals flush;
    const auto p = busyParams();
    vl::KickSynth k;
    k.prepare (48000.0);
    Buses buses;
    int count = 0;
    for (auto _ : state)
    {
        if (count++ % 64 == 0)
            k.trigger (1.0f);
        k.render (p, buses.left[0], buses.right[0], chunk);
        benchmark::DoNotOptimize (buses.left[0][0]);
    }
    setFramesCounter (state);
}
BENCHMARK (kick);

void bass (benchmark::State& state)
{
    const FlushDenormals flush;
    vl::BassSynth b;
    b.prepare (48000.0);
    Buses buses;
    int count = 0;
    for (auto _ : state)
    {
        if (count++ % 16 == 0)
            b.trigger (count % 32 == 1 ? 55.0f : 82.4f, 2000, 0.9f);
        b.render (0.2f, count % 256 < 128 ? 1.0f : 0.0f, buses.left[1], buses.right[1], chunk);
        benchmark::DoNotOptimize (buses.left[1][0]);
    }
    setFramesCounter (state);
}
BENCHMARK (bass);

// All eight lanes awake; the buses are refilled from noise each chunk, as the voices would.
void processLanes (benchmark::State& state)
{
    const FlushDenormals flush;
    auto p = busyParams();
    p.lanes[3].alder = 1; // one lane of each colour besides the global VARM
    p.lanes[4].alder = 2;
    p.lanes[5].alder = 0;
    auto voices = std::make_unique<vl::Voices>();
    voices->prepare (48000.0);
    Buses buses;
    float noise[chunk];
    gv::Rng rng (5);
    for (auto& x : noise)
        x = rng.uniform() - 0.5f;
    const float fargShift[vl::numLanes] {};
    const float gate[vl::numLanes] { 1, 1, 1, 0, 1, 1, 1, 1 };
    float shown[vl::numLanes] { 1, 1, 1, 1, 1, 1, 1, 1 };
    float meters[vl::numLanes] {};
    for (auto _ : state)
    {
        // Refilling costs about 1 ns per frame, far less than pausing the timer would.
        for (int i = 0; i < vl::numLanes; ++i)
            for (int k = 0; k < chunk; ++k)
                buses.left[i][k] = buses.right[i][k] = noise[k];
        voices->startedThisChunk.fill (true);
        voices->processLanes (p, fargShift, 0.8f, gate, shown, 5806.0f, meters, buses.leftPointers,
                              buses.rightPointers, chunk);
        benchmark::DoNotOptimize (meters[0]);
    }
    setFramesCounter (state);
}
BENCHMARK (processLanes);

} // namespace
