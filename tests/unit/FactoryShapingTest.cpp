// Shaping samples into a chip (spread, normalisation, fade) and the factory's filter.
#include "material/Factory.h"
#include "material/Svf.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <vector>

namespace
{

// Fade lengths by chip length: none up to 2 samples, a third up to 290, then 96.
struct FadeCase
{
    int frames, faded;
};

class MakeFade : public ::testing::TestWithParam<FadeCase>
{
};

TEST_P (MakeFade, FadesTheTailOnly)
{
    const auto [frames, faded] = GetParam();
    // A constant 0.5 becomes 0.8 everywhere the fade does not reach.
    const auto chip = vl::factory::make (std::vector<float> ((std::size_t) frames, 0.5f), 1, 0.0f, 0.5f, 0.0f, 7);

    for (const auto* channel : { &chip->left, &chip->right })
    {
        ASSERT_EQ ((int) channel->size(), frames);
        const auto below = std::count_if (channel->begin(), channel->end(), [] (float s) { return s < 0.8f; });
        EXPECT_EQ (below, faded);
        for (int i = 0; i < frames - faded; ++i)
        {
            EXPECT_FLOAT_EQ ((*channel)[(std::size_t) i], 0.8f) << "sample " << i;
        }
        if (faded > 0)
        {
            EXPECT_EQ (channel->back(), 0.0f);
        }
    }
}

INSTANTIATE_TEST_SUITE_P (Factory, MakeFade,
                          ::testing::Values (FadeCase { 0, 0 }, FadeCase { 1, 0 }, FadeCase { 2, 0 }, FadeCase { 3, 1 },
                                             FadeCase { 100, 33 }, FadeCase { 290, 96 }, FadeCase { 291, 96 },
                                             FadeCase { 5000, 96 }));

TEST (Make, NormalisesTheSourcePeakTo08)
{
    for (const float peak : { 0.25f, -2.0f, 1e-3f })
    {
        std::vector<float> source (1000, 0.0f);
        source[100] = peak;
        source[400] = peak * 0.5f;
        const auto chip = vl::factory::make (source, 0, 0.0f, 0.5f, 0.35f, 11);
        EXPECT_NEAR (chip->left[100], std::copysign (0.8f, peak), 1e-6f);
        EXPECT_NEAR (chip->left[400], std::copysign (0.4f, peak), 1e-6f);
    }
}

TEST (Make, SilenceStaysSilent)
{
    const auto chip = vl::factory::make (std::vector<float> (500, 0.0f), 4, 0.0f, 0.5f, 0.6f, 3);
    EXPECT_TRUE (std::all_of (chip->left.begin(), chip->left.end(), [] (float s) { return s == 0.0f; }));
    EXPECT_TRUE (std::all_of (chip->right.begin(), chip->right.end(), [] (float s) { return s == 0.0f; }));
}

TEST (Make, WidthZeroKeepsTheChannelsEqual)
{
    std::vector<float> source (1000);
    for (std::size_t i = 0; i < source.size(); ++i)
        source[i] = std::sin (0.05f * (float) i) * std::exp (-0.003f * (float) i);
    const auto chip = vl::factory::make (source, 3, 60.0f, 0.4f, 0.0f, 99);
    EXPECT_EQ (chip->left, chip->right);
}

// An impulse shows the spread: the right channel keeps 1 - width of it and repeats width of it
// 6..23 samples later; the left channel is untouched.
TEST (Make, WidthDelaysPartOfTheSourceIntoTheRightChannel)
{
    for (std::uint32_t seed : { 0u, 1u, 4011u, 0xffffffffu })
    {
        std::vector<float> impulse (400, 0.0f);
        impulse[0] = 1.0f;
        const auto chip = vl::factory::make (impulse, 2, 0.0f, 0.5f, 0.25f, seed);

        EXPECT_FLOAT_EQ (chip->left[0], 0.8f);
        EXPECT_FLOAT_EQ (chip->right[0], 0.6f);
        std::vector<int> echoes;
        for (int i = 1; i < 400; ++i)
            if (chip->right[(std::size_t) i] != 0.0f)
                echoes.push_back (i);
        ASSERT_EQ (echoes.size(), 1u) << "seed " << seed;
        EXPECT_GE (echoes[0], 6);
        EXPECT_LE (echoes[0], 23);
        EXPECT_FLOAT_EQ (chip->right[(std::size_t) echoes[0]], 0.2f);
    }
}

TEST (Make, TakesItsTagsFromTheArguments)
{
    const auto chip = vl::factory::make ({ 0.1f, 0.2f, 0.3f, 0.4f }, 3, 57.0f, 0.45f, 0.3f, 5);
    EXPECT_EQ (chip->box, 3);
    EXPECT_EQ (chip->pitch, 57.0f);
    EXPECT_EQ (chip->brightness, 0.45f);
    EXPECT_EQ (chip->sampleRate, 48000.0f);
}

// Steady-state amplitude of one output of the filter for a sine at `hz`.
double gainAt (double hz, double cutoff, double quality, double vl::factory::Svf::Out::*output)
{
    vl::factory::Svf filter (cutoff, quality);
    double peak = 0.0;
    const int settle = 48000, measure = 48000;
    for (int i = 0; i < settle + measure; ++i)
    {
        const double y = filter.process (std::sin (2.0 * std::numbers::pi * hz * i / 48000.0)).*output;
        if (i >= settle)
            peak = std::max (peak, std::abs (y));
    }
    return peak;
}

TEST (FactorySvf, ResponseAtChosenFrequencies)
{
    using Out = vl::factory::Svf::Out;
    // Low-pass: unity well below the cutoff, about -48 dB four octaves above it (12 dB per octave).
    EXPECT_NEAR (gainAt (50.0, 1000.0, 0.707, &Out::low), 1.0, 0.01);
    EXPECT_LT (gainAt (16000.0, 1000.0, 0.707, &Out::low), 0.01);
    // High-pass mirrors it.
    EXPECT_NEAR (gainAt (15000.0, 1000.0, 0.707, &Out::high), 1.0, 0.02);
    EXPECT_LT (gainAt (62.5, 1000.0, 0.707, &Out::high), 0.01);
    // The band output peaks at the cutoff with a gain of Q.
    EXPECT_NEAR (gainAt (2000.0, 2000.0, 8.0, &Out::band), 8.0, 0.05);
    // A cutoff beyond 21600 Hz is held there instead of wrapping tan() past its pole.
    EXPECT_NEAR (gainAt (1000.0, 40000.0, 0.707, &Out::low), 1.0, 0.01);
}

TEST (FactorySvf, SetupKeepsTheState)
{
    vl::factory::Svf swept (800.0, 4.0), plain (800.0, 4.0);
    for (int i = 0; i < 300; ++i)
    {
        const double x = (i % 37) / 18.0 - 1.0;
        if (i % 32 == 0)
            swept.setup (800.0, 4.0);
        const auto a = swept.process (x), b = plain.process (x);
        ASSERT_EQ (a.low, b.low) << "sample " << i;
        ASSERT_EQ (a.band, b.band) << "sample " << i;
    }
}

} // namespace
