// EGEN: grooves read back from synthesised drum loops, and clips without a pulse refused.
#include "plugin/GrooveExtraction.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

namespace
{

constexpr int steps = 16;

// One drum hit: a burst of noise that dies away in about 40 ms, scaled by its level.
void addHit (std::vector<float>& out, double atSeconds, float level, double sampleRate, std::mt19937& random)
{
    std::uniform_real_distribution<float> noise (-1.0f, 1.0f);
    const auto start = static_cast<long> (std::lround (atSeconds * sampleRate));
    const auto length = static_cast<long> (0.06 * sampleRate);
    for (long i = 0; i < length && start + i < static_cast<long> (out.size()); ++i)
        if (start + i >= 0)
            out[static_cast<std::size_t> (start + i)] += level * noise (random) * std::exp (-static_cast<float> (i / sampleRate) / 0.012f);
}

// The groove written into the test loops: every second sixteenth 0.16 late, the sixth 0.05 early;
// full accents on the beats, 0.7 on the eighths between, 0.5 on the rest.
constexpr float swing = 0.16f;
float writtenTiming (int s) { return s % 2 == 1 ? swing : s == 6 ? -0.05f : 0.0f; }
float writtenAccent (int s) { return s % 4 == 0 ? 1.0f : s % 4 == 2 ? 0.7f : 0.5f; }
constexpr float ghostLevel = 0.15f;

// Two bars: every step played in both, except that step 3 is a ghost in the second bar, step 13
// only sounds as a ghost in the second bar and step 9 is never played.
std::vector<float> twoBarLoop (double bpm, double sampleRate, double leadIn = 0.0)
{
    const double sixteenth = 60.0 / bpm / 4.0;
    std::vector<float> out (static_cast<std::size_t> (std::lround ((32 * sixteenth + 2 * leadIn) * sampleRate)));
    std::mt19937 random (7);
    for (int bar = 0; bar < 2; ++bar)
        for (int s = 0; s < steps; ++s)
        {
            float level = writtenAccent (s);
            if (s == 9 || (s == 13 && bar == 0))
                continue;
            if ((s == 3 || s == 13) && bar == 1)
                level = ghostLevel;
            addHit (out, leadIn + (bar * steps + s + writtenTiming (s)) * sixteenth, level, sampleRate, random);
        }
    return out;
}

struct LoopCase
{
    double bpm;
    double sampleRate;
    double leadIn; // silence before the first downbeat and after the loop, seconds
};

class GrooveOfALoop : public ::testing::TestWithParam<LoopCase>
{
};

TEST_P (GrooveOfALoop, IsReadBackWithinTolerance)
{
    const auto [bpm, sampleRate, leadIn] = GetParam();
    const auto loop = twoBarLoop (bpm, sampleRate, leadIn);
    const auto dna = vl::extractGroove (loop.data(), static_cast<int> (loop.size()), sampleRate);
    ASSERT_TRUE (dna.has_value());

    const auto timing = [&] (int s) { return (*dna)[static_cast<std::size_t> (s)]; };
    const auto accent = [&] (int s) { return (*dna)[static_cast<std::size_t> (steps + s)]; };
    const auto ghost = [&] (int s) { return (*dna)[static_cast<std::size_t> (2 * steps + s)]; };

    EXPECT_EQ (timing (0), 0.0f);
    for (int s = 0; s < steps; ++s)
    {
        // Step 9 is never played: it takes the timing of the other second sixteenths of a beat.
        EXPECT_NEAR (timing (s), writtenTiming (s == 9 ? 1 : s), 0.03) << "step " << s;
        if (s != 9 && s != 13)
        {
            EXPECT_NEAR (accent (s), writtenAccent (s), 0.08) << "step " << s;
        }
        const float ghosts = (s == 3 || s == 13) ? 0.5f : 0.0f; // one bar in two
        EXPECT_FLOAT_EQ (ghost (s), ghosts) << "step " << s;
    }
    EXPECT_NEAR (accent (13), ghostLevel, 0.05) << "a step with only a ghost is as quiet as the ghost";
    EXPECT_FLOAT_EQ (*std::max_element (dna->begin() + steps, dna->begin() + 2 * steps), 1.0f);
}

INSTANTIATE_TEST_SUITE_P (TempiAndRates,
                          GrooveOfALoop,
                          ::testing::Values (LoopCase { 96.0, 44100.0, 0.0 },
                                             LoopCase { 124.0, 48000.0, 0.0 },
                                             LoopCase { 150.0, 44100.0, 0.0 },
                                             LoopCase { 172.0, 48000.0, 0.0 },
                                             LoopCase { 124.0, 44100.0, 0.04 }), // loosely trimmed
                          [] (const auto& info)
                          {
                              return std::to_string (static_cast<int> (info.param.bpm)) + "bpm_"
                                     + std::to_string (static_cast<int> (info.param.sampleRate))
                                     + (info.param.leadIn > 0.0 ? "_leadIn" : "");
                          });

TEST (GrooveOfALoop, AStraightOneBarLoopHasNoSwing)
{
    constexpr double rate = 48000.0, sixteenth = 60.0 / 128.0 / 4.0;
    std::vector<float> loop (static_cast<std::size_t> (16 * sixteenth * rate));
    std::mt19937 random (3);
    for (int s = 0; s < steps; s += 2) // eighths only
        addHit (loop, s * sixteenth, writtenAccent (s), rate, random);

    const auto dna = vl::extractGroove (loop.data(), static_cast<int> (loop.size()), rate);
    ASSERT_TRUE (dna.has_value());
    for (int s = 0; s < steps; ++s)
        EXPECT_NEAR ((*dna)[static_cast<std::size_t> (s)], 0.0f, 0.02) << "step " << s;
    EXPECT_NEAR ((*dna)[steps + 2], 0.7f, 0.08);
}

// Swing toward triplets puts every hit on a straight grid half again as fast; a loop of whole bars
// still says which tempo it is.
TEST (GrooveOfALoop, HeavySwingStaysSwingAtTheLoopsTempo)
{
    for (float late : { 0.33f, 0.4f })
    {
        constexpr double rate = 44100.0, sixteenth = 60.0 / 90.0 / 4.0;
        std::vector<float> loop (static_cast<std::size_t> (32 * sixteenth * rate));
        std::mt19937 random (9);
        for (int n = 0; n < 32; ++n)
            addHit (loop, (n + (n % 2 == 1 ? late : 0.0f)) * sixteenth, writtenAccent (n % steps), rate, random);

        const auto dna = vl::extractGroove (loop.data(), static_cast<int> (loop.size()), rate);
        ASSERT_TRUE (dna.has_value()) << late;
        for (int s = 0; s < steps; ++s)
            EXPECT_NEAR ((*dna)[static_cast<std::size_t> (s)], s % 2 == 1 ? late : 0.0f, 0.03) << late << ", step " << s;
    }
}

// Clips without a clear pulse leave the previous groove in place.
struct PulselessCase
{
    const char* name;
    std::vector<float> (*make) (double sampleRate);
};

std::vector<float> silence (double rate) { return std::vector<float> (static_cast<std::size_t> (3 * rate)); }

std::vector<float> whiteNoise (double rate)
{
    std::mt19937 random (11);
    std::uniform_real_distribution<float> noise (-0.5f, 0.5f);
    std::vector<float> out (static_cast<std::size_t> (3 * rate));
    for (auto& x : out)
        x = noise (random);
    return out;
}

std::vector<float> sineDrone (double rate, double hz)
{
    std::vector<float> out (static_cast<std::size_t> (4 * rate));
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = 0.8f * static_cast<float> (std::sin (2.0 * std::numbers::pi * hz * static_cast<double> (i) / rate));
    return out;
}

std::vector<float> subDrone (double rate) { return sineDrone (rate, 25.0); }
std::vector<float> midDrone (double rate) { return sineDrone (rate, 440.0); }

// Real hits, but at random times: onsets without a grid.
std::vector<float> scatteredHits (double rate)
{
    std::mt19937 random (5);
    std::uniform_real_distribution<double> when (0.0, 3.9);
    std::vector<float> out (static_cast<std::size_t> (4 * rate));
    for (int i = 0; i < 14; ++i)
        addHit (out, when (random), 0.8f, rate, random);
    return out;
}

// Half a second cut from a good loop.
std::vector<float> tooShort (double rate)
{
    auto loop = twoBarLoop (124.0, rate);
    loop.resize (static_cast<std::size_t> (0.5 * rate));
    return loop;
}

class NoPulse : public ::testing::TestWithParam<PulselessCase>
{
};

TEST_P (NoPulse, GivesNothing)
{
    for (double rate : { 44100.0, 48000.0 })
    {
        const auto clip = GetParam().make (rate);
        EXPECT_FALSE (vl::extractGroove (clip.data(), static_cast<int> (clip.size()), rate).has_value()) << rate;
    }
}

INSTANTIATE_TEST_SUITE_P (Clips,
                          NoPulse,
                          ::testing::Values (PulselessCase { "silence", silence },
                                             PulselessCase { "whiteNoise", whiteNoise },
                                             PulselessCase { "subDrone", subDrone },
                                             PulselessCase { "midDrone", midDrone },
                                             PulselessCase { "scatteredHits", scatteredHits },
                                             PulselessCase { "tooShort", tooShort }),
                          [] (const auto& info) { return std::string (info.param.name); });

TEST (GrooveInput, BadArgumentsGiveNothing)
{
    const auto loop = twoBarLoop (124.0, 48000.0);
    auto broken = loop;
    broken[1000] = NAN;
    EXPECT_FALSE (vl::extractGroove (nullptr, 48000, 48000.0).has_value());
    EXPECT_FALSE (vl::extractGroove (loop.data(), static_cast<int> (loop.size()), 0.0).has_value());
    EXPECT_FALSE (vl::extractGroove (loop.data(), static_cast<int> (loop.size()), NAN).has_value());
    EXPECT_FALSE (vl::extractGroove (loop.data(), -5, 48000.0).has_value());
    EXPECT_FALSE (vl::extractGroove (broken.data(), static_cast<int> (broken.size()), 48000.0).has_value());
    EXPECT_TRUE (vl::extractGroove (loop.data(), static_cast<int> (loop.size()), 48000.0).has_value());
}

} // namespace
