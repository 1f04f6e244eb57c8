// The factory bank: determinism, a fingerprint of every chip, the box layout and the recipes'
// ranges. When a recipe change is intended, run with VIRL_PRINT_GOLDEN=1 and paste the
// printed values.
#include "family/Random.h"
#include "material/Factory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

namespace
{

bool printGolden()
{
    const char* flag = std::getenv ("VIRL_PRINT_GOLDEN");
    return flag != nullptr && std::strcmp (flag, "1") == 0;
}

// FNV-1a (64-bit) over raw bytes: a single flipped mantissa bit in any sample changes it.
struct Fingerprint
{
    std::uint64_t value = 0xcbf29ce484222325ull;

    void add (const void* data, std::size_t size)
    {
        const auto* bytes = static_cast<const unsigned char*> (data);
        for (std::size_t i = 0; i < size; ++i)
            value = (value ^ bytes[i]) * 0x100000001b3ull;
    }

    void add (const vl::Virl& chip)
    {
        const auto frames = chip.left.size();
        add (&frames, sizeof frames);
        add (chip.left.data(), frames * sizeof (float));
        add (chip.right.data(), chip.right.size() * sizeof (float));
        add (&chip.sampleRate, sizeof chip.sampleRate);
        add (&chip.pitch, sizeof chip.pitch);
        add (&chip.brightness, sizeof chip.brightness);
        add (&chip.box, sizeof chip.box);
    }
};

float peakOf (const std::vector<float>& samples)
{
    float peak = 0.0f;
    for (const float s : samples)
        peak = std::max (peak, std::abs (s));
    return peak;
}

class FactoryBank : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { bank = vl::factory::build (vl::factory::defaultSeed); }
    static void TearDownTestSuite() { bank.reset(); }

    static std::shared_ptr<const vl::Bank> bank;
};

std::shared_ptr<const vl::Bank> FactoryBank::bank;

TEST_F (FactoryBank, TwoBuildsAreBitIdentical)
{
    const auto again = vl::factory::build (vl::factory::defaultSeed);
    for (int b = 0; b < vl::numBoxes; ++b)
    {
        const auto& first = bank->boxes[(std::size_t) b];
        const auto& second = again->boxes[(std::size_t) b];
        ASSERT_EQ (first.size(), second.size()) << "box " << b;
        for (std::size_t k = 0; k < first.size(); ++k)
        {
            // Whole-vector equality would let -0.0 pass for 0.0; compare the bytes.
            Fingerprint a, c;
            a.add (*first[k]);
            c.add (*second[k]);
            EXPECT_EQ (a.value, c.value) << "box " << b << " chip " << k;
        }
    }
    EXPECT_EQ (bank->factory, again->factory);
}

TEST_F (FactoryBank, FingerprintOfEveryChip)
{
    constexpr std::uint64_t expected[5] = { 0xfece159b4b1610c5ull, 0x2a06f2ae15174a95ull, 0x96c28205f697fbe0ull,
                                            0x52334d0fa4bf45b7ull, 0x981371e00d0411a2ull };
    std::uint64_t actual[5];
    for (std::size_t b = 0; b < 5; ++b)
    {
        Fingerprint print;
        for (const auto& chip : bank->boxes[b])
            print.add (*chip);
        actual[b] = print.value;
    }

    if (printGolden())
    {
        std::printf ("factory = {");
        for (const auto v : actual)
            std::printf (" 0x%016llxull,", static_cast<unsigned long long> (v));
        std::printf (" }\n");
        return;
    }
    for (std::size_t b = 0; b < 5; ++b)
        EXPECT_EQ (actual[b], expected[b]) << "box " << b;
}

TEST_F (FactoryBank, BoxLayout)
{
    const std::size_t sizes[vl::numBoxes] = { 48, 48, 64, 40, 32, 0 };
    std::size_t total = 0;
    for (int b = 0; b < vl::numBoxes; ++b)
    {
        const auto& box = bank->boxes[(std::size_t) b];
        EXPECT_EQ (box.size(), sizes[b]) << "box " << b;
        EXPECT_EQ (bank->factory[(std::size_t) b], b < 5) << "box " << b;
        for (const auto& chip : box)
            EXPECT_EQ (chip->box, b);
        EXPECT_TRUE (std::is_sorted (box.begin(), box.end(), [] (const auto& x, const auto& y) { return x->brightness < y->brightness; }))
            << "box " << b;
        total += box.size();
    }
    EXPECT_EQ (total, 232u);
}

// What every chip of the bank must be, whatever its recipe.
TEST_F (FactoryBank, EveryChipIsAFinishedChip)
{
    for (const auto& box : bank->boxes)
        for (const auto& chip : box)
        {
            ASSERT_FALSE (chip->left.empty());
            ASSERT_EQ (chip->left.size(), chip->right.size());
            EXPECT_EQ (chip->sampleRate, 48000.0f);
            EXPECT_TRUE (std::all_of (chip->left.begin(), chip->left.end(), [] (float s) { return std::isfinite (s); }));
            EXPECT_TRUE (std::all_of (chip->right.begin(), chip->right.end(), [] (float s) { return std::isfinite (s); }));
            // Every recipe's source peaks well before its faded tail.
            EXPECT_NEAR (peakOf (chip->left), 0.8f, 1e-6f) << "box " << chip->box;
            EXPECT_EQ (chip->left.back(), 0.0f);
            EXPECT_EQ (chip->right.back(), 0.0f);
        }
}

// Each recipe over many seeds, not only the 232 of the bank: the brightness and pitch the
// lanes rely on, and lengths within the recipe's limits.
struct RecipeCase
{
    const char* name;
    std::function<std::shared_ptr<const vl::Virl> (std::uint32_t)> recipe;
    int box;
    float brightnessLow, brightnessHigh;
    float pitchLow, pitchHigh;
    double shortestMs, longestMs;
};

class Recipe : public ::testing::TestWithParam<RecipeCase>
{
};

TEST_P (Recipe, StaysWithinItsRanges)
{
    const auto& c = GetParam();
    const auto samples = [] (double ms) { return static_cast<int> (ms * 48.0); };
    for (std::uint32_t i = 0; i < 200; ++i)
    {
        const auto seed = gv::hashMix (0xfac7, i);
        const auto chip = c.recipe (seed);
        EXPECT_EQ (chip->box, c.box);
        EXPECT_GE (chip->brightness, c.brightnessLow) << "seed " << seed;
        EXPECT_LE (chip->brightness, c.brightnessHigh) << "seed " << seed;
        EXPECT_GE (chip->pitch, c.pitchLow) << "seed " << seed;
        EXPECT_LE (chip->pitch, c.pitchHigh) << "seed " << seed;
        EXPECT_GE (chip->frames(), samples (c.shortestMs) - 1) << "seed " << seed;
        EXPECT_LE (chip->frames(), samples (c.longestMs)) << "seed " << seed;
    }
}

// RÖST pitch: f0 in 95..255 Hz; TON: notes 48..71, an octave up for the bell.
INSTANTIATE_TEST_SUITE_P (Factory, Recipe,
                          ::testing::Values (RecipeCase { "klick", vl::factory::klick, 0, 0.1333f, 1.0f, 0.0f, 0.0f, 40, 160 },
                                             RecipeCase { "tick", vl::factory::tick, 1, 0.8f, 1.0f, 0.0f, 0.0f, 30, 380 },
                                             RecipeCase { "rost", vl::factory::rost, 2, 0.35f, 0.55f, 42.45f, 59.56f, 70, 330 },
                                             RecipeCase { "ton", vl::factory::ton, 3, 0.3f, 0.7f, 48.0f, 83.0f, 110, 460 },
                                             RecipeCase { "brus", vl::factory::brus, 4, 0.0909f, 1.0f, 0.0f, 0.0f, 180, 400 }),
                          [] (const auto& info) { return std::string (info.param.name); });

TEST (FactoryTon, PitchIsAWholeNote)
{
    for (std::uint32_t i = 0; i < 64; ++i)
    {
        const auto chip = vl::factory::ton (gv::hashMix (0x707, i));
        EXPECT_EQ (chip->pitch, std::round (chip->pitch));
    }
}

} // namespace
