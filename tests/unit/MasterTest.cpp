// Measured behaviour of the master chain: duck, mono bass, SKIVA noise, UT, the ceiling and the
// recorder feed, plus a literal sample-by-sample model that the optimised chain must match.
#include "engine/Ceiling.h"
#include "engine/Master.h"
#include "engine/Skiva.h"
#include "family/GuldRecorder.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <functional>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

namespace
{

constexpr float ceilingLevel = 0.96605086f; // -0.3 dBFS
constexpr double twoPi = 2.0 * std::numbers::pi;

vl::EngineParams plainParams (float skiva = 0.0f, float band = 0.0f, float utGain = 1.0f)
{
    vl::EngineParams p;
    p.skiva = skiva;
    p.band = band;
    p.utGain = utGain;
    return p;
}

// Bus sample of one lane and side at an absolute frame.
using BusFill = std::function<float (int lane, int side, long frame)>;

// Eight lane buses feeding one chain; render() walks whole chunks and keeps every output frame.
struct Rig
{
    static constexpr int maxChunk = 256;

    explicit Rig (double sampleRate = 48000.0) : rate (sampleRate)
    {
        chain.prepare (sampleRate);
        for (int lane = 0; lane < 8; ++lane)
        {
            left[(size_t) lane] = bus[(size_t) lane][0].data();
            right[(size_t) lane] = bus[(size_t) lane][1].data();
        }
    }

    void render (const vl::EngineParams& p, long frames, const BusFill& fill, int chunk = maxChunk,
                 gv::GuldRecorder* recorder = nullptr, bool playing = true)
    {
        for (long start = 0; start < frames; start += chunk)
            renderChunk (p, (int) std::min<long> (chunk, frames - start), fill, recorder, playing);
    }

    void renderChunk (const vl::EngineParams& p, int n, const BusFill& fill, gv::GuldRecorder* recorder = nullptr,
                      bool playing = true)
    {
        for (int lane = 0; lane < 8; ++lane)
            for (int side = 0; side < 2; ++side)
                for (int k = 0; k < n; ++k)
                    bus[(size_t) lane][(size_t) side][(size_t) k] = fill (lane, side, frame + k);

        std::array<float, maxChunk> l {}, r {};
        chain.process (p, left.data(), right.data(), l.data(), r.data(), n, recorder, playing);
        outLeft.insert (outLeft.end(), l.begin(), l.begin() + n);
        outRight.insert (outRight.end(), r.begin(), r.begin() + n);
        frame += n;
    }

    double rate;
    vl::MasterChain chain;
    std::array<std::array<std::array<float, maxChunk>, 2>, 8> bus {};
    std::array<const float*, 8> left {}, right {};
    std::vector<float> outLeft, outRight;
    long frame = 0;
};

BusFill silence()
{
    return [] (int, int, long) { return 0.0f; };
}

double rms (const std::vector<float>& a, const std::vector<float>& b, double sign, size_t from)
{
    double sum = 0.0;
    for (size_t k = from; k < a.size(); ++k)
    {
        const double x = a[k] + sign * b[k];
        sum += x * x;
    }
    return std::sqrt (sum / (double) (a.size() - from));
}

double db (double ratio) { return 20.0 * std::log10 (ratio); }

// ---------------------------------------------------------------------------------------------
// Mono bass: a sine in the left channel only. The side (L − R) must fall like the fourth-order
// high-pass at 120 Hz while the mid (L + R) keeps its level at every frequency.

struct MonoCase
{
    double hz;
    double sideDb;     // side gain, output over input
    double toleranceDb;
};

class MonoBassTest : public ::testing::TestWithParam<MonoCase>
{
};

TEST_P (MonoBassTest, SideFollowsTheCrossoverAndMidKeepsItsLevel)
{
    const auto c = GetParam();
    Rig rig;
    const double w = twoPi * c.hz / rig.rate;
    // BAS, left only, 0.8: the mono low part then stays well below the ceiling.
    rig.render (plainParams(), 48000, [&] (int lane, int side, long f) {
        return lane == 1 && side == 0 ? (float) (0.8 * std::sin (w * (double) f)) : 0.0f;
    });

    const size_t settled = 24000;
    const double inSide = 0.8 / std::sqrt (2.0); // input L − R and L + R are both the sine
    EXPECT_NEAR (db (rms (rig.outLeft, rig.outRight, -1.0, settled) / inSide), c.sideDb, c.toleranceDb);
    EXPECT_NEAR (db (rms (rig.outLeft, rig.outRight, 1.0, settled) / inSide), 0.0, 0.05);
}

// Two 120 Hz Butterworth high-passes: |H|² = r⁴/(1 + r⁴) each, r = f/120.
INSTANTIATE_TEST_SUITE_P (Frequencies, MonoBassTest,
                          ::testing::Values (MonoCase { 40.0, -38.3, 0.5 },  // practically mono
                                             MonoCase { 60.0, -24.6, 0.5 },
                                             MonoCase { 1000.0, 0.0, 0.02 }, // keeps its width
                                             MonoCase { 5000.0, 0.0, 0.02 }));

// ---------------------------------------------------------------------------------------------
// Duck: with DC on the buses the chain is linear after the duck, so adding a lane's DC on top of
// the kick alone shows its duck factor directly.

struct DuckCase
{
    float kickLeft, kickRight;
    float bassFactor, chipFactor;
};

class DuckTest : public ::testing::TestWithParam<DuckCase>
{
};

TEST_P (DuckTest, KickLeftBusSetsTheFactors)
{
    const auto c = GetParam();
    const auto settledOutput = [&] (float bass, float chip) {
        Rig rig;
        rig.render (plainParams(), 24000, [&] (int lane, int side, long) {
            if (lane == 0) return side == 0 ? c.kickLeft : c.kickRight;
            return lane == 1 ? bass : chip;
        });
        return (double) rig.outLeft.back();
    };

    const double kickOnly = settledOutput (0.0f, 0.0f);
    const double bassFactor = (settledOutput (0.2f, 0.0f) - kickOnly) / 0.2;
    const double chipFactor = (settledOutput (0.0f, 0.04f) - kickOnly) / (6 * 0.04);
    EXPECT_NEAR (bassFactor, c.bassFactor, 1e-3);
    EXPECT_NEAR (chipFactor, c.chipFactor, 1e-3);
}

// d = 2.2·|kick left|: factors 1 − 0.8·d and 1 − 0.22·d, held at 0.2 and 0.78 above d = 1.
INSTANTIATE_TEST_SUITE_P (KickLevels, DuckTest,
                          ::testing::Values (DuckCase { 0.0f, 0.0f, 1.0f, 1.0f },
                                             DuckCase { 0.1f, 0.1f, 0.824f, 0.9516f },
                                             DuckCase { 0.3f, 0.3f, 0.472f, 0.8548f },
                                             DuckCase { -0.3f, -0.3f, 0.472f, 0.8548f }, // by magnitude
                                             DuckCase { 0.5f, 0.5f, 0.2f, 0.78f },       // full duck
                                             DuckCase { 0.0f, 0.5f, 1.0f, 1.0f }));      // right bus is no key

// ---------------------------------------------------------------------------------------------
// SKIVA

class CrackleRateTest : public ::testing::TestWithParam<double>
{
};

TEST_P (CrackleRateTest, AboutFiftyPerSecondAtFullSkivaAtAnyRate)
{
    const double rate = GetParam();
    const float chance = vl::Skiva::crackleChance (1.0f, rate);
    std::uint32_t random = 0x8a0f69fdu;
    const int seconds = 30;
    int impulses = 0;
    for (long k = 0; k < (long) (seconds * rate); ++k)
        impulses += vl::drawNoise (random, chance).impulse != 0.0f ? 1 : 0;

    // 3.5e-4 × 3 per sample at 48 kHz = 50.4 per second; ±5 is over 3 standard deviations.
    EXPECT_NEAR ((double) impulses / seconds, 50.4, 5.0);
}

INSTANTIATE_TEST_SUITE_P (SampleRates, CrackleRateTest, ::testing::Values (44100.0, 48000.0, 96000.0));

TEST (Skiva, NoiseScalesWithTheAmountAndStopsAtZero)
{
    const auto noiseRms = [] (float skiva) {
        Rig rig;
        rig.render (plainParams (skiva), 48000, silence());
        return rms (rig.outLeft, rig.outRight, 1.0, 0) / 2.0;
    };
    EXPECT_EQ (noiseRms (0.0f), 0.0);
    const double full = noiseRms (1.0f);
    EXPECT_GT (full, 1e-3);
    EXPECT_LT (full, 0.05);
    EXPECT_NEAR (noiseRms (0.5f) / full, 0.5, 0.01); // same draws, half the level
}

TEST (Skiva, TurningItBackOnDelaysTheMomentNotOldMusic)
{
    Rig rig;
    const long second = 48000;
    rig.render (plainParams (1.0f), second, [] (int lane, int, long f) {
        return lane == 1 ? (float) (0.8 * std::sin (0.02 * (double) f)) : 0.0f;
    });
    rig.render (plainParams (0.0f), second, silence());
    const size_t from = rig.outLeft.size();
    rig.render (plainParams (1.0f), second / 10, silence());

    // Only record noise follows; the loud sine of two seconds ago stays gone.
    float loudest = 0.0f;
    for (size_t k = from; k < rig.outLeft.size(); ++k)
        loudest = std::max (loudest, std::fabs (rig.outLeft[k]));
    EXPECT_LT (loudest, 0.1f);
}

// ---------------------------------------------------------------------------------------------
// UT

TEST (Ut, MinusTwentyFourDecibelsScalesTheWholeOutput)
{
    const auto fill = [] (int lane, int side, long f) {
        return lane == 1 + side ? (float) (0.4 * std::sin (0.13 * (double) f)) : 0.0f;
    };
    Rig unity, quiet;
    unity.render (plainParams (0.15f, 0.25f, 1.0f), 9600, fill);
    quiet.render (plainParams (0.15f, 0.25f, (float) std::pow (10.0, -1.2)), 9600, fill);

    double worst = 0.0;
    for (size_t k = 0; k < unity.outLeft.size(); ++k)
    {
        worst = std::max (worst, std::fabs (quiet.outLeft[k] - 0.0630957 * unity.outLeft[k]));
        worst = std::max (worst, std::fabs (quiet.outRight[k] - 0.0630957 * unity.outRight[k]));
    }
    EXPECT_LT (worst, 1e-6);
}

// ---------------------------------------------------------------------------------------------
// Ceiling

TEST (Ceiling, PassesQuietSignalSixtyFourSamplesLate)
{
    vl::Ceiling ceiling;
    ceiling.prepare (48000.0);
    std::array<float, 128> l {}, r {};
    l[0] = 0.5f;
    r[3] = -0.25f;
    ceiling.process (l.data(), r.data(), 128);
    for (int k = 0; k < 128; ++k)
    {
        EXPECT_EQ (l[(size_t) k], k == 64 ? 0.5f : 0.0f) << k;
        EXPECT_EQ (r[(size_t) k], k == 67 ? -0.25f : 0.0f) << k;
    }
    EXPECT_EQ (vl::MasterChain::latency, 64);
}

TEST (Ceiling, LimitsASineSixDecibelsOverWithoutMutingIt)
{
    vl::Ceiling ceiling;
    ceiling.prepare (48000.0);
    std::vector<float> l (4800), r (4800);
    for (size_t k = 0; k < l.size(); ++k)
        l[k] = r[k] = (float) (2.0 * ceilingLevel * std::sin (twoPi * 100.0 * (double) k / 48000.0));
    ceiling.process (l.data(), r.data(), (int) l.size());

    float loudest = 0.0f;
    for (size_t k = 2400; k < l.size(); ++k)
        loudest = std::max (loudest, std::fabs (l[k]));
    EXPECT_LE (loudest, ceilingLevel);
    EXPECT_GT (loudest, 0.9f * ceilingLevel);
}

// Whatever the lanes hold and whatever the parameters, no output sample is beyond -0.3 dBFS or
// non-finite, and the recorder gets exactly the output.
TEST (Ceiling, NoInputOrParameterGetsPastIt)
{
    std::mt19937 rng (20240611u);
    std::uniform_real_distribution<float> unitDraw (0.0f, 1.0f);
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::array<float, 8> extremes { 0.0f, 1.0f, -1.0f, 1e30f, -3.4e38f, inf, -inf, nan };
    const std::array<float, 5> skivaBand { 0.0f, 0.0001f, 0.001f, 0.5f, 1.0f };
    const std::array<float, 3> ut { 0.0f, 0.0630957f, 1.9952623f }; // 0 (off), -24 dB, +6 dB

    for (const double rate : { 44100.0, 48000.0, 96000.0 })
    {
        Rig rig (rate);
        gv::GuldRecorder recorder;
        recorder.prepare (1, rate);

        for (int chunk = 0; chunk < 600; ++chunk)
        {
            auto p = plainParams();
            const bool extremeParams = rng() % 3 == 0;
            p.skiva = extremeParams ? skivaBand[rng() % 5] : unitDraw (rng);
            p.band = extremeParams ? skivaBand[rng() % 5] : unitDraw (rng);
            p.utGain = extremeParams ? ut[rng() % 3] : (float) std::pow (10.0, (unitDraw (rng) * 30.0 - 24.0) * 0.05);

            // Per lane and side one kind of signal for the chunk.
            std::array<std::array<int, 2>, 8> kind {};
            std::array<std::array<float, 2>, 8> level {};
            for (auto& lane : kind)
                for (auto& side : lane)
                    side = (int) (rng() % 5);
            for (auto& lane : level)
                for (auto& side : lane)
                    side = std::exp2 (unitDraw (rng) * 16.0f - 8.0f);
            const float extreme = extremes[rng() % extremes.size()];
            const int period = 2 + (int) (rng() % 200);

            const auto fill = [&] (int lane, int side, long f) {
                const float a = level[(size_t) lane][(size_t) side];
                switch (kind[(size_t) lane][(size_t) side])
                {
                    case 0: return (f / period) % 2 == 0 ? a : -a;           // square
                    case 1: return a;                                         // DC
                    case 2: return a * (2.0f * unitDraw (rng) - 1.0f);        // noise
                    case 3: return rng() % 64 == 0 ? extreme : 0.0f;          // sparse wild samples
                    default: return extreme;                                  // a whole wild bus
                }
            };
            const size_t before = rig.outLeft.size();
            const auto written = recorder.writePos();
            rig.renderChunk (p, 1 + (int) (rng() % 256), fill, &recorder, true);

            const auto audio = recorder.audio();
            for (size_t k = before; k < rig.outLeft.size(); ++k)
            {
                for (const float x : { rig.outLeft[k], rig.outRight[k] })
                {
                    ASSERT_TRUE (std::isfinite (x)) << "chunk " << chunk;
                    ASSERT_LE (std::fabs (x), ceilingLevel) << "chunk " << chunk;
                }
                const auto frame = (written + (k - before)) % recorder.capacity();
                ASSERT_EQ (audio[2 * frame], (std::int16_t) std::lround (32767.0f * rig.outLeft[k]));
                ASSERT_EQ (audio[2 * frame + 1], (std::int16_t) std::lround (32767.0f * rig.outRight[k]));
            }
            ASSERT_EQ (recorder.writePos() - written, rig.outLeft.size() - before);
        }

        // Broken buses leave no lasting trace: once the duck has released from its clamped
        // key (about a second from +60 dB), a clean sine comes through at full level again.
        const size_t from = rig.outLeft.size();
        const auto twoSeconds = (long) (2.0 * rate);
        rig.render (plainParams(), twoSeconds, [] (int lane, int, long f) {
            return lane == 1 ? (float) (0.5 * std::sin (0.05 * (double) f)) : 0.0f;
        });
        EXPECT_NEAR (rms (rig.outLeft, rig.outRight, 1.0, from + (size_t) (twoSeconds * 3 / 4)), 0.5 * std::sqrt (2.0), 0.01)
            << rate;
    }
}

// ---------------------------------------------------------------------------------------------
// Recorder feed: while playing every frame; while stopped only frames that are not silent.

struct FeedCase
{
    bool playing;
    float skiva;
    bool everyFrame; // else: exactly the frames with |left| + |right| > 1e-5
};

class RecorderFeedTest : public ::testing::TestWithParam<FeedCase>
{
};

TEST_P (RecorderFeedTest, RecordsWhatIsHeard)
{
    const auto c = GetParam();
    Rig rig;
    gv::GuldRecorder recorder;
    recorder.prepare (1, rig.rate);
    rig.render (plainParams (c.skiva), 4800, silence(), 256, &recorder, c.playing);

    std::uint64_t audible = 0;
    for (size_t k = 0; k < rig.outLeft.size(); ++k)
        audible += std::fabs (rig.outLeft[k]) + std::fabs (rig.outRight[k]) > 1e-5f ? 1 : 0;
    EXPECT_EQ (recorder.writePos(), c.everyFrame ? rig.outLeft.size() : audible);
    if (c.skiva > 0.0f)
    {
        EXPECT_GT (audible, 4000u);
    }
}

INSTANTIATE_TEST_SUITE_P (Transport, RecorderFeedTest,
                          ::testing::Values (FeedCase { true, 0.0f, true },    // silence while playing
                                             FeedCase { false, 0.0f, false },  // stopped silence: nothing
                                             FeedCase { false, 1.0f, false })); // stopped record noise

// ---------------------------------------------------------------------------------------------
// The optimised chain against a literal sample-by-sample model: any reordering, shared filter or
// shortcut that changes the sound shows up here.

struct LiteralMaster
{
    struct Svf
    {
        float s1 = 0, s2 = 0;
        float low = 0, high = 0;
        void run (float x, float g)
        {
            const float k = 1.4142135f, a1 = 1.0f / (1.0f + g * (g + k)), a2 = g * a1, a3 = g * a2;
            const float e = x - s2, band = a1 * s1 + a2 * e;
            low = s2 + a2 * s1 + a3 * e;
            s1 = 2 * band - s1;
            s2 = 2 * low - s2;
            high = x - k * band - low;
        }
    };

    static float onePole (double sr, double hz) { return (float) (1 - std::exp (-twoPi * std::min (0.49 * sr, hz) / sr)); }
    static float clip (float x) { return x < -4.5f ? -1.016129f : x > 4.5f ? 1.016129f : x * (27 + x * x) / (27 + 9 * x * x); }
    static std::uint32_t step (std::uint32_t x) { x ^= x << 13; x ^= x >> 17; x ^= x << 5; return x; }
    static float unit (std::uint32_t x) { return (float) (x >> 8) / 16777216.0f; }

    explicit LiteralMaster (double rate)
        : sr (rate), size (1024), ringL (1024), ringR (1024),
          gSvf ((float) std::tan (std::numbers::pi * 120.0 / rate)),
          duckAttack ((float) (1 - std::exp (-1 / (0.0005 * rate)))), duckRelease ((float) (1 - std::exp (-1 / (0.14 * rate)))),
          atk ((float) (1 - std::exp (-1 / (0.0004 * rate)))), rel ((float) (1 - std::exp (-1 / (0.08 * rate)))),
          decay ((float) std::exp (-1 / (0.004 * rate)))
    {
        while (size < 0.02 * rate + 3) size *= 2;
        ringL.assign ((size_t) size, 0.0f);
        ringR.assign ((size_t) size, 0.0f);
    }

    void frame (const vl::EngineParams& p, const std::array<float, 8>& l, const std::array<float, 8>& r, float& outL, float& outR)
    {
        const float m = std::fabs (l[0]);
        level += (m - level) * (m > level ? duckAttack : duckRelease);
        const float d = 2.2f * level;
        const float bf = d > 1 ? 0.2f : 1 - 0.8f * d, cf = d > 1 ? 0.78f : 1 - 0.22f * d;
        float chipL = 0, chipR = 0;
        for (int i = 2; i < 8; ++i) { chipL += l[(size_t) i]; chipR += r[(size_t) i]; }
        float x[2] = { l[0] + bf * l[1] + cf * chipL, r[0] + bf * r[1] + cf * chipR };

        ringL[(size_t) w] = x[0];
        ringR[(size_t) w] = x[1];
        w = (w + 1) % size;
        if (p.skiva > 0.001f)
        {
            phase += 0.55 / sr;
            if (phase >= 1) { phase -= 1; prev = next; wow = step (wow); next = 2 * unit (wow) - 1; }
            const float shape = prev + (next - prev) * (0.5f - 0.5f * (float) std::cos (std::numbers::pi * phase));
            const double pos = w - sr * (0.004 + 0.0006 * p.skiva * shape);
            const int i = (int) std::floor (pos);
            const float f = (float) (pos - i);
            const int i0 = ((i % size) + size) % size, i1 = (i0 + 1) % size;
            x[0] = ringL[(size_t) i0] + (ringL[(size_t) i1] - ringL[(size_t) i0]) * f;
            x[1] = ringR[(size_t) i0] + (ringR[(size_t) i1] - ringR[(size_t) i0]) * f;

            noise = step (noise);
            float c = 0;
            if (3.5e-4f * p.skiva * 48000 / (float) sr * 3 > unit (noise))
            {
                noise = step (noise); const float u1 = unit (noise);
                noise = step (noise); const float u2 = unit (noise);
                c = (0.3f + 0.7f * u2) * (2 * u1 - 1);
            }
            noise = step (noise);
            hiss += ((2 * unit (noise) - 1) - hiss) * onePole (sr, 6000);
            crackle += (c - crackle) * onePole (sr, 3500);
            const float n = (0.015f * hiss + 0.25f * crackle) * p.skiva;
            x[0] += n;
            x[1] += n;
        }
        for (int s = 0; s < 2 && p.band > 0.0001f; ++s)
        {
            em[s] += (x[s] - em[s]) * onePole (sr, 3000);
            float y = clip ((x[s] + 0.5f * p.band * (x[s] - em[s])) * (1 + 2.5f * p.band)) / (1 + 1.2f * p.band);
            de[s] += (y - de[s]) * onePole (sr, 3000);
            y = y - 0.33f * p.band * (y - de[s]);
            ro[s] += (y - ro[s]) * onePole (sr, 15000);
            x[s] = y + 0.5f * p.band * (ro[s] - y);
        }
        for (int s = 0; s < 2; ++s)
        {
            hp1[s].run (x[s], gSvf); hp2[s].run (hp1[s].high, gSvf);
            lp1[s].run (x[s], gSvf); lp2[s].run (lp1[s].low, gSvf);
        }
        const float low = 0.5f * (lp2[0].low + lp2[1].low);
        for (int s = 0; s < 2; ++s)
            x[s] = (hp2[s].high + low) * p.utGain;

        const float pk = std::max (std::fabs (x[0]), std::fabs (x[1]));
        if (pk >= held) { held = pk; hold = 64; }
        else if (hold > 0) --hold;
        else held *= decay;
        const float target = held > ceilingLevel ? ceilingLevel / held : 1;
        gain += (target - gain) * (target < gain ? atk : rel);
        outL = std::clamp (delayL[(size_t) di] * gain, -ceilingLevel, ceilingLevel);
        outR = std::clamp (delayR[(size_t) di] * gain, -ceilingLevel, ceilingLevel);
        delayL[(size_t) di] = x[0];
        delayR[(size_t) di] = x[1];
        di = (di + 1) % 64;
    }

    double sr;
    int size;
    std::vector<float> ringL, ringR;
    int w = 0;
    double phase = 0;
    float prev = std::bit_cast<float> (0xbf721780u), next = std::bit_cast<float> (0xbeb904e8u);
    std::uint32_t wow = 0x51bec68cu, noise = 0x8a0f69fdu;
    float hiss = 0, crackle = 0, level = 0;
    float em[2] {}, de[2] {}, ro[2] {};
    Svf hp1[2], hp2[2], lp1[2], lp2[2];
    float gSvf;
    float duckAttack, duckRelease, atk, rel, decay;
    std::array<float, 64> delayL {}, delayR {};
    int di = 0, hold = 0;
    float held = 0, gain = 1;
};

TEST (MasterChain, MatchesTheLiteralModelSampleForSample)
{
    for (const double rate : { 44100.0, 48000.0, 96000.0 })
    {
        std::mt19937 rng (7u);
        std::uniform_real_distribution<float> draw (0.0f, 1.0f);
        Rig rig (rate);
        LiteralMaster model (rate);
        double worst = 0.0;

        // Four seconds: the wow LFO turns to a new target every 1.8 s.
        for (int chunk = 0; rig.outLeft.size() < (size_t) (4.0 * rate); ++chunk)
        {
            auto p = plainParams (chunk % 7 == 3 ? 0.0f : draw (rng), chunk % 5 == 1 ? 0.0f : draw (rng),
                                  (float) std::pow (10.0, (draw (rng) * 30.0 - 24.0) * 0.05));
            std::array<float, 8> hz {};
            for (auto& h : hz)
                h = 30.0f + 4000.0f * draw (rng) * draw (rng);
            const auto fill = [&] (int lane, int side, long f) {
                const double t = (double) f / rate;
                const double kickBurst = (f / 2400) % 4 == 0 ? 0.9 : 0.05;
                const double a = lane == 0 ? kickBurst : 0.25;
                return (float) (a * std::sin (twoPi * hz[(size_t) lane] * (side == 0 ? 1.0 : 1.01) * t));
            };
            const size_t before = rig.outLeft.size();
            rig.renderChunk (p, 1 + (int) (rng() % 256), fill);

            for (size_t k = before; k < rig.outLeft.size(); ++k)
            {
                std::array<float, 8> l {}, r {};
                for (int lane = 0; lane < 8; ++lane)
                {
                    l[(size_t) lane] = fill (lane, 0, (long) k);
                    r[(size_t) lane] = fill (lane, 1, (long) k);
                }
                float outL = 0, outR = 0;
                model.frame (p, l, r, outL, outR);
                worst = std::max ({ worst, (double) std::fabs (outL - rig.outLeft[k]), (double) std::fabs (outR - rig.outRight[k]) });
            }
        }
        // Float rounding only (the optimised chain computes the wow cosine by rotation and
        // multiplies by reciprocals); anything structural is orders of magnitude larger.
        EXPECT_LT (worst, 5e-6) << rate;
    }
}

} // namespace
