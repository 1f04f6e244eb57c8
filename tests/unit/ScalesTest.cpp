// Scale snapping and the per-role pitch draws.
#include "patterns/Scales.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <set>

namespace
{

enum Scale
{
    moll,
    dorisk,
    frygisk,
    mollpenta,
    kvint
};

struct SnapCase
{
    int offset, scale, expected;
};

class SnapExamples : public ::testing::TestWithParam<SnapCase>
{
};

TEST_P (SnapExamples, SnapsToTheNearestToneLowerOnTies)
{
    const auto c = GetParam();
    EXPECT_EQ (vl::snapToScale (c.offset, c.scale), c.expected);
}

INSTANTIATE_TEST_SUITE_P (Scales,
                          SnapExamples,
                          ::testing::Values (SnapCase { 4, moll, 3 },
                                             SnapCase { 6, moll, 5 },
                                             SnapCase { 11, moll, 10 },
                                             SnapCase { -1, moll, -2 },
                                             SnapCase { 3, kvint, 0 },
                                             SnapCase { 4, kvint, 7 },
                                             SnapCase { 10, kvint, 12 },
                                             SnapCase { -13, moll, -14 },
                                             SnapCase { 8, dorisk, 7 },
                                             SnapCase { 2, frygisk, 1 },
                                             SnapCase { 1, mollpenta, 0 },
                                             SnapCase { -1, kvint, 0 },
                                             // Out-of-range scale indices clamp to MOLL and KVINT.
                                             SnapCase { 9, -3, 8 },
                                             SnapCase { 4, 9, 7 }));

TEST (SnapToScale, ScaleTonesStayInEveryOctave)
{
    const std::set<int> tones[] = { { 0, 2, 3, 5, 7, 8, 10 }, { 0, 2, 3, 5, 7, 9, 10 }, { 0, 1, 3, 5, 7, 8, 10 }, { 0, 3, 5, 7, 10 }, { 0, 7 } };
    for (int scale = 0; scale < vl::numScales; ++scale)
        for (int octave = -4; octave <= 4; ++octave)
            for (int tone : tones[scale])
                EXPECT_EQ (vl::snapToScale (tone + 12 * octave, scale), tone + 12 * octave) << "scale " << scale;
}

TEST (SnapToScale, NeverMovesFurtherThanHalfTheWidestGap)
{
    for (int offset = -48; offset <= 48; ++offset)
    {
        EXPECT_LE (std::abs (vl::snapToScale (offset, kvint) - offset), 3) << offset;
        EXPECT_LE (std::abs (vl::snapToScale (offset, mollpenta) - offset), 1) << offset;
        for (int scale = moll; scale <= frygisk; ++scale)
            EXPECT_LE (std::abs (vl::snapToScale (offset, scale) - offset), 1) << offset;
    }
}

TEST (PickPitch, TonTakesTheTableEntryOfTheLowThreeBits)
{
    constexpr int table[] = { 0, 0, 3, 7, 7, 10, 12, 15 };
    for (std::uint32_t seed = 0; seed < 64; ++seed)
    {
        gv::Rng rng (seed), oracle (seed);
        EXPECT_EQ (vl::pickPitch (gv::Role::ton, rng), table[oracle.next() & 7u]);
        EXPECT_EQ (rng.state, oracle.state);
    }
}

TEST (PickPitch, EachRoleDrawsOnlyItsOwnOffsets)
{
    struct Case
    {
        gv::Role role;
        std::set<int> allowed;
    };
    const Case cases[] = {
        { gv::Role::bas, { 0, 12, 7, 10, 3 } },
        { gv::Role::ton, { 0, 3, 7, 10, 12, 15 } },
        { gv::Role::rost, { 0, 2, -2 } },
        { gv::Role::spoke, { 0, -12 } },
    };
    for (const auto& c : cases)
    {
        gv::Rng rng (7);
        std::set<int> seen;
        for (int i = 0; i < 4000; ++i)
            seen.insert (vl::pickPitch (c.role, rng));
        EXPECT_EQ (seen, c.allowed) << "role " << static_cast<int> (c.role);
    }
}

// Generation keeps its draw order only if the unpitched roles take no draw.
TEST (PickPitch, UnpitchedRolesDrawNothing)
{
    for (auto role : { gv::Role::kick, gv::Role::klick, gv::Role::tick, gv::Role::luft })
    {
        gv::Rng rng (99);
        const auto before = rng.state;
        EXPECT_EQ (vl::pickPitch (role, rng), 0);
        EXPECT_EQ (rng.state, before);
    }
}

TEST (PickPitch, RostBendsRarely)
{
    gv::Rng rng (3);
    int bends = 0;
    constexpr int draws = 20000;
    for (int i = 0; i < draws; ++i)
        bends += vl::pickPitch (gv::Role::rost, rng) != 0;
    EXPECT_NEAR (bends / double (draws), 0.12, 0.015);
}

} // namespace
