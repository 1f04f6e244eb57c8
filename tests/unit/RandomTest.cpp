// The mixer, the random source, the derived seeds and the groove table.
#include "family/Dna.h"
#include "family/Random.h"

#include <gtest/gtest.h>


namespace
{

// Reference values computed outside C++ with explicit 32-bit masking; any platform or
// compiler that lets a product escape 32 bits fails here.
TEST (HashMix, MatchesReferenceValues)
{
    EXPECT_EQ (gv::hashMix (0, 0), 0x79f1f076u);

    constexpr std::uint32_t laneSeeds[] = { 0x872ed448u, 0xf3d5f33du, 0xa524f590u, 0x6096a889u,
                                            0x5f6f124eu, 0xfdfb5ee1u, 0xf5617bd5u, 0xc28afb4cu };
    for (std::uint32_t k = 0; k < 8; ++k)
        EXPECT_EQ (gv::hashMix (375313, k), laneSeeds[k]) << "k = " << k;

    // The first factory preset's seed, as the preset builder derives it.
    EXPECT_EQ (gv::hashMix (gv::hashMix (0xB0A7, 0), 0), 0x3DDD5A07u);
}

TEST (HashMix, SaltMixIsHashMixWithItsSecondArgumentPremixed)
{
    for (std::uint32_t a : { 0u, 1u, 0xdeadbeefu, 0xffffffffu })
        for (std::uint32_t b : { 0u, 7u, 0x9c4a1e2bu })
            EXPECT_EQ (gv::saltMix (a, gv::lowbias32 (b + 0x632be59bu)), gv::hashMix (a, b));
}

TEST (Rng, FirstDrawsMatchReferenceValues)
{
    struct Case
    {
        std::uint32_t seed, state, draws[3];
    };
    constexpr Case cases[] = {
        { 0, 0x86a24fa1u, { 0x2597094au, 0x537b49b5u, 0x73f366f3u } },
        { 1, 0xccf434b3u, { 0x062c41c2u, 0x4c9c9fc8u, 0x33dbff3au } },
        { 375313, 0x3a6ecdf3u, { 0x99cb5f7bu, 0xb6ac8b49u, 0xdf72adcbu } },
    };
    for (const auto& c : cases)
    {
        gv::Rng rng (c.seed);
        EXPECT_EQ (rng.state, c.state) << "seed " << c.seed;
        for (auto expected : c.draws)
            EXPECT_EQ (rng.next(), expected) << "seed " << c.seed;
    }
}

TEST (Rng, NeverReachesZeroAndStaysInRange)
{
    for (std::uint32_t seed = 0; seed < 2000; ++seed)
    {
        // 0xa511e9b3 is the seed that the seeding xor would turn into 0 before hashing.
        gv::Rng rng (seed * 0x01000193u ^ 0xa511e9b3u);
        for (int i = 0; i < 200; ++i)
        {
            ASSERT_NE (rng.next(), 0u);
            const float u = rng.uniform();
            ASSERT_GE (u, 0.0f);
            ASSERT_LT (u, 1.0f);
            const int b = rng.below (7);
            ASSERT_GE (b, 0);
            ASSERT_LT (b, 7);
        }
    }
}

TEST (Rng, UnitUsesTheTop24Bits)
{
    EXPECT_EQ (gv::unit (0), 0.0f);
    EXPECT_EQ (gv::unit (0xffu), 0.0f);
    EXPECT_EQ (gv::unit (0x80000000u), 0.5f);
    EXPECT_LT (gv::unit (0xffffffffu), 1.0f);

    gv::Rng a (42), b (42);
    EXPECT_EQ (a.uniform(), gv::unit (b.next()));
}

TEST (DerivedSeeds, PositionsEnterByTheirLow32Bits)
{
    EXPECT_EQ (gv::laneSeed (375313, 3), gv::hashMix (375313, 3));
    EXPECT_EQ (gv::barHash (5), 0xd23c0055u);
    EXPECT_EQ (gv::barHash (-1), 0xf783c6e4u);
    EXPECT_EQ (gv::barHash ((std::int64_t { 1 } << 32) + 5), gv::barHash (5));
    EXPECT_EQ (gv::sixteenthHash (5), gv::barHash (5));
}

TEST (DerivedSeeds, MutationDrawSourceMatchesReferenceValues)
{
    auto rng = gv::mutationDrawSource (0x3DDD5A07u, 7, 3);
    EXPECT_EQ (rng.next(), 0xe865f552u);
    EXPECT_EQ (rng.next(), 0x8f3c5895u);

    auto wrapped = gv::mutationDrawSource (0x3DDD5A07u, (std::int64_t { 1 } << 32) + 7, 3);
    EXPECT_EQ (wrapped.next(), 0xe865f552u);

    // Lanes under one seed must not share draws.
    EXPECT_NE (gv::mutationDrawSource (0x3DDD5A07u, 7, 4).next(), 0xe865f552u);
}

TEST (DnaTable, NamesAreTheGrooveChoicesAndBadIndicesPlayStraight)
{
    const char* names[] = { "909 RAK", "909 SHUFFLE", "SLAPP SAMPLER", "BERUSAD GUNG",
                            "MIKROHUS", "ROMINIMAL", "DETROIT", "EGEN" };
    for (int i = 0; i < gv::numGrooves; ++i)
        EXPECT_STREQ (gv::dnaTable (i).name, names[i]);

    for (int bad : { -1, 8, 9, 1000 })
        EXPECT_STREQ (gv::dnaTable (bad).name, "909 RAK") << bad;
}

TEST (DnaTable, RepeatedRowsExpandPerStep)
{
    const auto& shuffle = gv::dnaTable (1);
    const auto& egen = gv::dnaTable (7);
    constexpr float egenAccent[] = { 1.0f, 0.6f, 0.8f, 0.6f };
    constexpr float egenGhost[] = { 0.0f, 0.04f, 0.02f, 0.04f };
    for (int s = 0; s < gv::dnaSteps; ++s)
    {
        const auto i = static_cast<std::size_t> (s);
        EXPECT_FLOAT_EQ (shuffle.timing[i], s % 2 == 0 ? 0.0f : 0.16f) << s;
        EXPECT_FLOAT_EQ (egen.accent[i], egenAccent[s % 4]) << s;
        EXPECT_FLOAT_EQ (egen.ghost[i], egenGhost[s % 4]) << s;
    }
    EXPECT_FLOAT_EQ (gv::dnaTable (3).timing[11], 0.26f);
    EXPECT_FLOAT_EQ (gv::dnaTable (5).ghost[15], 0.10f);
}

TEST (DnaEffect, SvangZeroPlaysStraight)
{
    for (int g = 0; g < gv::numGrooves; ++g)
        for (std::size_t s = 0; s < gv::dnaSteps; ++s)
        {
            const auto& dna = gv::dnaTable (g);
            EXPECT_EQ (gv::grooveOffset (dna.timing[s], 0.0f, 1.0f, 0), 0.0f);
            EXPECT_EQ (gv::accentFactor (dna.accent[s], 0.0f), 1.0f);
            EXPECT_EQ (gv::ghostChance (dna.ghost[s], 0.0f), 0.0f);
        }
    EXPECT_FLOAT_EQ (gv::grooveOffset (0.22f, 0.0f, 1.0f, 12), 0.12f); // the nudge still plays
}

TEST (DnaEffect, SvangPastOneSaturatesOnlyTheAccent)
{
    EXPECT_EQ (gv::accentFactor (0.45f, 1.2f), gv::accentFactor (0.45f, 1.0f));
    EXPECT_GT (gv::grooveOffset (0.22f, 1.2f, 1.0f, 0), gv::grooveOffset (0.22f, 1.0f, 1.0f, 0));
    EXPECT_GT (gv::ghostChance (0.12f, 1.2f), gv::ghostChance (0.12f, 1.0f));
}

TEST (DnaEffect, OffsetStaysInsideItsSixteenth)
{
    EXPECT_FLOAT_EQ (gv::grooveOffset (0.26f, 1.2f, 1.0f, 18), 0.45f);
    EXPECT_FLOAT_EQ (gv::grooveOffset (-0.03f, 1.2f, 1.0f, -60), -0.45f);
    EXPECT_FLOAT_EQ (gv::grooveOffset (0.2f, 1.0f, 0.5f, 0), 0.1f); // the bass swings half
}

} // namespace
