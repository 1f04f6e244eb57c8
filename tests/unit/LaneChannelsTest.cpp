// The lane channels: colour filter gains, sampler colours per lane, idle skipping, and the
// side-by-side pass checked sample for sample against a plain per-lane model.
#include "engine/LaneChannels.h"
#include "engine/SoftClip.h"
#include "engine/Voices.h"
#include "family/Random.h"
#include "material/Virl.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <memory>
#include <numbers>
#include <vector>

namespace
{

constexpr double rate = 48000.0;
constexpr int chunk = 256;

struct Buses
{
    std::vector<float> left = std::vector<float> (vl::numLanes * chunk);
    std::vector<float> right = std::vector<float> (vl::numLanes * chunk);
    float* l[vl::numLanes];
    float* r[vl::numLanes];
    Buses()
    {
        for (int i = 0; i < vl::numLanes; ++i)
            l[i] = left.data() + i * chunk, r[i] = right.data() + i * chunk;
    }
};

TEST (NearestWhole, MatchesStdRoundOnTiesAndTheirNeighbours)
{
    std::vector<float> values { 0.0f, -0.0f, 0.5f, -0.5f, 1.5f, 2.5f, -2.5f, 0.49999997f, -0.49999997f,
                                8388607.5f, -8388607.5f, 8388608.0f, 1.0e30f, -1.0e30f, 4194303.5f };
    for (float v : { 0.5f, 1.5f, 1000.5f, 123456.5f })
        values.insert (values.end(), { std::nextafter (v, 0.0f), std::nextafter (v, 1.0e9f), -std::nextafter (v, 0.0f) });
    gv::Rng rng (3);
    for (int i = 0; i < 100000; ++i)
        values.push_back ((rng.uniform() - 0.5f) * 8192.0f);
    for (float v : values)
        EXPECT_EQ (vl::nearestWhole (v), std::round (v)) << v;
    EXPECT_TRUE (std::isnan (vl::nearestWhole (std::numeric_limits<float>::quiet_NaN())));
}

// Gain of a sine through one chip lane (NY, level 1, gate open), against the analogue
// prototype of the two filters at the bilinear-warped frequency.
struct FilterCase
{
    float colour, brightness, hz;
};

class ColourFilterGain : public ::testing::TestWithParam<FilterCase>
{
};

double expectedDb (const FilterCase& c)
{
    const double top = c.colour < 0.0f ? 20000.0 * std::pow (0.04, -c.colour) : 20000.0;
    const double lowCut = std::clamp (top * c.brightness * c.brightness, 300.0, 0.45 * rate);
    const double highCut = c.colour > 0.0f ? 110.0 * std::pow (18.0, c.colour) : 110.0;
    const double k = 1.4285715;
    const double w = std::tan (std::numbers::pi * c.hz / rate);
    const std::complex<double> j (0.0, 1.0);
    const double wl = w / std::tan (std::numbers::pi * lowCut / rate);
    const double wh = w / std::tan (std::numbers::pi * highCut / rate);
    const auto low = 1.0 / (1.0 + j * k * wl - wl * wl);
    const auto high = -wh * wh / (1.0 + j * k * wh - wh * wh);
    return 20.0 * std::log10 (std::abs (low * high));
}

TEST_P (ColourFilterGain, MatchesTheDesignWithinAHundredthOfADecibel)
{
    const auto c = GetParam();
    constexpr int lane = vl::Lane::tick;
    auto channels = std::make_unique<vl::LaneChannels>();
    channels->prepare (rate);
    channels->setLevel (lane, 1.0f, 1.0f);
    Buses buses;
    std::array<float, vl::numLanes> shown {}, meters {};
    shown.fill (1.0f);

    // One second; the last half (a whole number of periods for every case) is measured.
    double inPhase = 0.0, quadrature = 0.0;
    for (int start = 0; start < (int) rate; start += chunk)
    {
        for (int k = 0; k < chunk; ++k)
            buses.l[lane][k] = buses.r[lane][k] = (float) std::sin (2.0 * std::numbers::pi * c.hz * (start + k) / rate);
        channels->wakes (lane, true, chunk);
        channels->setColour (lane, c.colour, c.brightness);
        channels->setAge (lane, 0);
        channels->process (buses.l, buses.r, chunk, 1.0f, shown.data(), meters.data());
        for (int k = 0; k < chunk; ++k)
            if (start + k >= (int) rate / 2 && start + k < (int) rate)
            {
                const double phase = 2.0 * std::numbers::pi * c.hz * (start + k) / rate;
                inPhase += buses.l[lane][k] * std::sin (phase);
                quadrature += buses.l[lane][k] * std::cos (phase);
            }
    }
    const double amplitude = 2.0 * std::hypot (inPhase, quadrature) / (rate / 2) / 0.9; // 0.9: niva² · 0.9
    EXPECT_NEAR (20.0 * std::log10 (amplitude), expectedDb (c), 0.01) << c.colour << " " << c.hz;
}

INSTANTIATE_TEST_SUITE_P (LaneChannels, ColourFilterGain,
                          ::testing::Values (FilterCase { 0.0f, 1.0f, 1000.0f },  // open: close to 0 dB
                                             FilterCase { 0.0f, 1.0f, 110.0f },   // at the high-pass corner
                                             FilterCase { -1.0f, 1.0f, 800.0f },  // darkest: low-pass at 800 Hz
                                             FilterCase { -1.0f, 1.0f, 4000.0f }, // two octaves and more above
                                             FilterCase { 1.0f, 1.0f, 1980.0f },  // thinnest: high-pass at 1980 Hz
                                             FilterCase { 1.0f, 1.0f, 500.0f },
                                             FilterCase { 0.0f, 0.12f, 300.0f }, // arc at 0: cutoff clamped to 300 Hz
                                             FilterCase { -0.5f, 0.5f, 2000.0f }));

// The channel of one lane exactly as the design reads, one sample and one stage at a time.
struct PlainLane
{
    float lp[2][2] {}, hp[2][2] {};
    int mode = -1;
    float holdRate = 1, preC = 1, postC = 1, phase = 0;
    float pre[2] {}, post[2] {}, hold[2] {};
    int countdown = 0;
    float meter = 0;

    static float svf (const vl::SvfCoefficients& c, float* s, float x, bool high)
    {
        const float e = x - s[1];
        const float band = c.a1 * s[0] + c.a2 * e;
        const float low = s[1] + c.a2 * s[0] + c.a3 * e;
        s[0] = 2.0f * band - s[0];
        s[1] = 2.0f * low - s[1];
        return high ? x - c.k * band - low : low;
    }

    // Returns the meter of the chunk; processes bus sides in place.
    float run (int lane, bool sounding, float colour, float brightness, int age, float niva, float gate,
               float& shown, float step, float* l, float* r, int n)
    {
        const float attack = (float) (1.0 - std::exp (-1.0 / (0.001 * rate)));
        const float release = (float) (1.0 - std::exp (-1.0 / (0.12 * rate)));
        const bool chipLane = lane >= 2;
        vl::SvfCoefficients lowC, highC;
        if (chipLane)
        {
            const double top = colour < 0 ? 20000.0 * std::pow (0.04, -colour) : 20000.0;
            lowC = vl::svfCoefficients (std::clamp (top * brightness * brightness, 300.0, 0.45 * rate), rate, 1.4285715f);
            highC = vl::svfCoefficients (colour > 0 ? 110.0 * std::pow (18.0, colour) : 110.0, rate, 1.4285715f);
            if (age != mode)
            {
                mode = age;
                const double hold[] { 48000, 31250, 26040, 40000 }, postHz[] { 20000, 13000, 20000, 11000 },
                    preHz[] { 20000, 14000, 20000, 20000 };
                auto pole = [] (double f) { return (float) (1.0 - std::exp (-2.0 * std::numbers::pi * std::min (f, 0.49 * rate) / rate)); };
                holdRate = (float) std::min (1.0, hold[mode] / rate);
                preC = pole (preHz[mode]);
                postC = pole (postHz[mode]);
            }
            countdown = sounding ? (int) (0.3 * rate) : countdown - n;
            if (countdown <= 0)
            {
                shown += (gate - shown) * (1.0f - (float) std::pow (1.0 - step, n));
                meter += (0.0f - meter) * release;
                return meter;
            }
        }
        float loudest = 0;
        for (int i = 0; i < n; ++i)
        {
            float* side[2] { l + i, r + i };
            bool wrapped = false;
            if (chipLane && mode > 0)
            {
                phase += holdRate;
                wrapped = phase >= 1.0f;
                if (wrapped)
                    phase -= 1.0f;
            }
            for (int s = 0; s < 2; ++s)
            {
                float x = *side[s];
                if (chipLane)
                {
                    x = svf (highC, hp[s], svf (lowC, lp[s], x, false), true);
                    if (mode > 0)
                    {
                        pre[s] = pre[s] + (x - pre[s]) * preC;
                        if (wrapped)
                            hold[s] = pre[s];
                        const float steps = mode == 3 ? 4096.0f : 2048.0f;
                        const float q = std::round (hold[s] * steps) / steps;
                        const float shaped = mode == 2 ? vl::softClip (1.1f * q) : mode == 3 ? 0.85f * vl::softClip (1.25f * q) : q;
                        post[s] = post[s] + (shaped - post[s]) * postC;
                        x = post[s];
                    }
                }
                *side[s] = x;
            }
            shown += (gate - shown) * step;
            const float gain = niva * niva * 0.9f * shown;
            *side[0] *= gain;
            *side[1] *= gain;
            const float m = std::max (std::fabs (*side[0]), std::fabs (*side[1]));
            meter += (m - meter) * (m > meter ? attack : release);
            loudest = std::max (loudest, meter);
        }
        return loudest;
    }
};

TEST (LaneChannels, SideBySidePassGivesThePlainModelsBitsExactly)
{
    auto voices = std::make_unique<vl::Voices>();
    voices->prepare (rate);
    PlainLane plain[vl::numLanes];
    Buses fast, slow;
    gv::Rng rng (11);
    vl::EngineParams p;
    std::array<float, vl::numLanes> shift {}, gate {}, shownFast {}, shownSlow {}, metersFast {}, metersSlow {};
    shownFast.fill (1.0f);
    shownSlow.fill (1.0f);

    for (int c = 0; c < 600; ++c)
    {
        // Every 50 chunks new settings: colours, ages (global and per lane), levels and gates.
        if (c % 50 == 0)
        {
            p.alder = (int) (rng.next() % 4);
            for (int lane = 0; lane < vl::numLanes; ++lane)
            {
                auto& lp = p.lanes[(size_t) lane];
                lp.farg = rng.uniform() * 2.0f - 1.0f;
                lp.alder = (int) (rng.next() % 5) - 1;
                lp.niva = rng.uniform();
                shift[(size_t) lane] = rng.uniform() * 0.8f - 0.4f;
                gate[(size_t) lane] = rng.uniform() < 0.3f ? 0.0f : 1.0f;
            }
        }
        const float arc = 0.5f + 0.5f * std::sin (c * 0.01f);
        const int n = c % 7 == 0 ? 1 + (int) (rng.next() % chunk) : chunk;
        for (int lane = 0; lane < vl::numLanes; ++lane)
        {
            // Lanes 4 and 7 fall silent for long stretches, so they get skipped and woken again.
            const bool silent = (lane == 4 && c % 200 > 60) || (lane == 7 && c % 300 > 150);
            for (int k = 0; k < n; ++k)
            {
                const float x = silent ? 0.0f : (rng.uniform() - 0.5f) * 2.5f;
                fast.l[lane][k] = slow.l[lane][k] = x;
                fast.r[lane][k] = slow.r[lane][k] = silent ? 0.0f : x * 0.5f + (rng.uniform() - 0.5f);
            }
            if (lane >= vl::firstChipLane)
                voices->startedThisChunk[(size_t) (lane - vl::firstChipLane)] = ! silent;
        }

        voices->processLanes (p, shift.data(), arc, gate.data(), shownFast.data(), 3000.0f, metersFast.data(), fast.l,
                              fast.r, n);

        const float step = (float) (1.0 - std::exp (-1.0 / (8.0 * 3000.0f)));
        for (int lane = 0; lane < vl::numLanes; ++lane)
        {
            const auto& lp = p.lanes[(size_t) lane];
            const bool silent = (lane == 4 && c % 200 > 60) || (lane == 7 && c % 300 > 150);
            metersSlow[(size_t) lane] =
                plain[lane].run (lane, ! silent, std::clamp (shift[(size_t) lane] + lp.farg, -1.0f, 1.0f),
                                 0.12f + 0.88f * arc, std::clamp (lp.alder >= 0 ? lp.alder : p.alder, 0, 3), lp.niva,
                                 gate[(size_t) lane], shownSlow[(size_t) lane], step, slow.l[lane], slow.r[lane], n);
        }

        for (int lane = 0; lane < vl::numLanes; ++lane)
        {
            for (int k = 0; k < n; ++k)
            {
                ASSERT_EQ (fast.l[lane][k], slow.l[lane][k]) << "chunk " << c << " lane " << lane << " sample " << k;
                ASSERT_EQ (fast.r[lane][k], slow.r[lane][k]) << "chunk " << c << " lane " << lane << " sample " << k;
            }
            ASSERT_EQ (shownFast[(size_t) lane], shownSlow[(size_t) lane]) << c << " " << lane;
            ASSERT_EQ (metersFast[(size_t) lane], metersSlow[(size_t) lane]) << c << " " << lane;
        }
    }
}

TEST (LaneChannels, LaneAgeOverridesOnlyItsOwnLane)
{
    auto voices = std::make_unique<vl::Voices>();
    voices->prepare (rate);
    vl::EngineParams p;
    p.alder = 0; // NY
    p.lanes[vl::Lane::tick].alder = 3; // VARM
    Buses buses;
    std::array<float, vl::numLanes> shift {}, gate {}, shown {}, meters {};
    gate.fill (1.0f);
    voices->startedThisChunk.fill (true);
    voices->processLanes (p, shift.data(), 1.0f, gate.data(), shown.data(), 3000.0f, meters.data(), buses.l, buses.r, chunk);
    for (int lane = vl::firstChipLane; lane < vl::numLanes; ++lane)
        EXPECT_EQ (voices->channels.age (lane), lane == vl::Lane::tick ? 3 : 0) << lane;
}

TEST (LaneChannels, IdleLaneIsSkippedButAVoiceShorterThanAChunkStillPassesTheChannel)
{
    auto voices = std::make_unique<vl::Voices>();
    voices->prepare (rate);
    vl::Bank bank;
    auto chip = std::make_shared<vl::Virl>();
    chip->left.assign (50, 1.0f);
    chip->right.assign (50, 1.0f);
    bank.boxes[0].push_back (chip);
    vl::EngineParams p;
    p.lanes[vl::Lane::klick].niva = 0.0f; // a processed lane comes out silent
    Buses buses;
    std::array<float, vl::numLanes> shift {}, gate {}, shown {}, meters {};
    gate.fill (1.0f);
    shown.fill (1.0f);

    // Long idle: the lane is skipped, its meter decays and its bus is left alone.
    for (int c = 0; c < 100; ++c)
        voices->processLanes (p, shift.data(), 1.0f, gate.data(), shown.data(), 3000.0f, meters.data(), buses.l, buses.r, chunk);
    EXPECT_NEAR (shown[vl::Lane::klick], 1.0f, 1.0e-3f);

    // A 50-sample voice starts and ends inside one chunk: nothing is active at the chunk's end,
    // yet its samples must not reach the mix untouched.
    vl::Hit hit;
    hit.lane = vl::Lane::klick;
    hit.velocity = 1.0f;
    ASSERT_TRUE (voices->fire (hit, p, &bank, -1, nullptr));
    std::fill (buses.left.begin(), buses.left.end(), 0.0f);
    voices->render (p, 0.0f, buses.l, buses.r, 0, chunk);
    ASSERT_FALSE (voices->laneSounding (vl::Lane::klick));
    ASSERT_GT (buses.l[vl::Lane::klick][40], 0.0f);
    voices->processLanes (p, shift.data(), 1.0f, gate.data(), shown.data(), 3000.0f, meters.data(), buses.l, buses.r, chunk);
    for (int k = 0; k < chunk; ++k)
        EXPECT_EQ (buses.l[vl::Lane::klick][k], 0.0f) << k;
}

} // namespace
