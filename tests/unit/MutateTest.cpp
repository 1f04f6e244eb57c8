// Mutation: invariants over many bars, retries, the memory ring and recall.
#include "family/Random.h"
#include "patterns/Generate.h"
#include "patterns/Mutate.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{

bool sameBytes (const vl::Pattern& a, const vl::Pattern& b) { return std::memcmp (&a, &b, sizeof (vl::Pattern)) == 0; }

vl::LaneGen makeGen (float tathet, int steg)
{
    vl::LaneGen gen;
    gen.tathet = tathet;
    gen.steg = steg;
    return gen;
}

class MutatedLane : public ::testing::TestWithParam<int>
{
};

// Mutates generated patterns bar after bar, as the engine does, and checks every result.
TEST_P (MutatedLane, KeepsItsInvariantsBarAfterBar)
{
    const int lane = GetParam();
    constexpr int stegs[] = { 0, 0, -1, 7, 16, 32 };
    int accepted = 0;

    for (std::uint32_t seed = 0; seed < 60; ++seed)
    {
        const auto gen = makeGen (0.2f * static_cast<float> (seed % 6), stegs[seed % 6]);
        auto pattern = vl::generate (lane, gen, gv::hashMix (seed, 77));
        if (! vl::isPlausible (lane, pattern))
            continue; // a dense short hat that generation could not make plausible
        vl::LaneMemory memory;

        for (std::int64_t bar = 0; bar < 150; ++bar)
        {
            auto rng = gv::mutationDrawSource (seed, bar, lane);
            const auto before = pattern;
            const int headBefore = memory.head;
            const int countBefore = memory.count;
            vl::mutate (lane, pattern, memory, gen, rng);

            if (memory.head != headBefore)
            {
                ++accepted;
                ASSERT_TRUE (vl::isPlausible (lane, pattern)) << "seed " << seed << " bar " << bar;
                EXPECT_TRUE (sameBytes (memory.ring[static_cast<std::size_t> (headBefore)], before));
                EXPECT_EQ (memory.head, (headBefore + 1) % vl::memoryDepth);
                EXPECT_EQ (memory.count, std::min (countBefore + 1, vl::memoryDepth));
            }
            else
            {
                ASSERT_TRUE (sameBytes (pattern, before)) << "rejected mutation changed the pattern";
                EXPECT_EQ (memory.count, countBefore);
            }

            ASSERT_GE (pattern.fargShift, -0.4f);
            ASSERT_LE (pattern.fargShift, 0.4f);
            ASSERT_EQ (pattern.steps[0].nudge, 0) << "seed " << seed << " bar " << bar;
            for (const auto& step : pattern.steps)
            {
                ASSERT_GE (step.nudge, -12);
                ASSERT_LE (step.nudge, 18);
            }
        }
    }
    EXPECT_GT (accepted, 1000); // the property must not pass by rejecting everything
}

INSTANTIATE_TEST_SUITE_P (Lanes, MutatedLane, ::testing::Range (1, vl::numLanes));

TEST (Mutate, KickNeverChangesAndDrawsNothing)
{
    auto pattern = vl::generate (vl::kick, {}, 1);
    const auto kick = pattern;
    vl::LaneMemory memory;
    memory.count = 5;
    memory.head = 5;
    for (std::uint32_t seed = 0; seed < 100; ++seed)
    {
        gv::Rng rng (seed);
        const auto state = rng.state;
        vl::mutate (vl::kick, pattern, memory, makeGen (1.0f, 0), rng);
        ASSERT_TRUE (sameBytes (pattern, kick));
        EXPECT_EQ (rng.state, state);
        EXPECT_EQ (memory.count, 5);
        EXPECT_EQ (memory.head, 5);
    }
}

// Many moves and every add on this full KLICK line make three in a row: those must be
// retried and, in the rare bar where all four attempts fail, leave everything as it was.
TEST (Mutate, KlickRunsOfThreeAreRetriedOrRefused)
{
    const auto start = vl::patternFromText ("xx.xx.xx.xx.....");
    int refused = 0;
    for (std::uint32_t seed = 0; seed < 40000; ++seed)
    {
        auto pattern = start;
        vl::LaneMemory memory;
        gv::Rng rng (seed);
        vl::mutate (vl::klick, pattern, memory, makeGen (1.0f, 0), rng);
        if (memory.count == 0)
        {
            ++refused;
            EXPECT_TRUE (sameBytes (pattern, start));
        }
        EXPECT_LE (vl::takeCensus (pattern).longestRun, 2);
    }
    EXPECT_GT (refused, 0);
}

TEST (Mutate, SingleHitIsNeverLost)
{
    const auto start = vl::patternFromText ("....x...........");
    for (std::uint32_t seed = 0; seed < 400; ++seed)
    {
        auto pattern = start;
        vl::LaneMemory memory;
        gv::Rng rng (seed);
        // Density 1 wants many hits, so remove is rare but possible; density 0 makes it likely.
        vl::mutate (vl::luft, pattern, memory, makeGen (seed % 2 == 0 ? 0.0f : 1.0f, 0), rng);
        EXPECT_GE (vl::takeCensus (pattern).hits, 1);
    }
}

TEST (Mutate, SameStateGivesTheSameResult)
{
    for (int lane = 1; lane < vl::numLanes; ++lane)
    {
        auto a = vl::generate (lane, {}, 5);
        auto b = a;
        vl::LaneMemory memoryA, memoryB;
        gv::Rng rngA (9), rngB (9);
        for (int i = 0; i < 64; ++i)
        {
            vl::mutate (lane, a, memoryA, {}, rngA);
            vl::mutate (lane, b, memoryB, {}, rngB);
        }
        EXPECT_TRUE (sameBytes (a, b));
        EXPECT_EQ (rngA.state, rngB.state);
        EXPECT_EQ (memoryA.head, memoryB.head);
    }
}

// Remembered versions are marked by their chip (1000 + slot) so a recall shows which slot
// it brought back; the current pattern plays chip 0, which other edits move by at most 3.
struct RecallCase
{
    int count, head;
};

class Recall : public ::testing::TestWithParam<RecallCase>
{
protected:
    static vl::Pattern marked (int chip)
    {
        auto pattern = vl::patternFromText ("..x...x...x...x.");
        for (auto& step : pattern.steps)
            step.chip = static_cast<std::uint16_t> (chip);
        return pattern;
    }
};

TEST_P (Recall, NeverBringsBackTheNewestOrAForgottenVersion)
{
    const auto [count, head] = GetParam();
    vl::LaneMemory memory;
    for (int slot = 0; slot < vl::memoryDepth; ++slot)
        memory.ring[static_cast<std::size_t> (slot)] = marked (1000 + slot);
    memory.count = count;
    memory.head = head;

    int recalls = 0;
    for (std::uint32_t seed = 0; seed < 3000; ++seed)
    {
        auto pattern = marked (0);
        auto scratch = memory;
        gv::Rng rng (seed);
        vl::mutate (vl::tick, pattern, scratch, makeGen (0.5f, 0), rng);

        const int chip = pattern.steps[2].chip;
        if (chip < 1000 || chip >= 1000 + vl::memoryDepth)
            continue;
        ++recalls;
        const int slot = chip - 1000;
        const int back = (head - slot + vl::memoryDepth - 1) % vl::memoryDepth + 1; // 1 = the newest, 16 the oldest
        EXPECT_GE (back, 2) << "slot " << slot;
        EXPECT_LE (back, count) << "slot " << slot;
    }
    if (count > 2)
        EXPECT_GT (recalls, 0);
    else
        EXPECT_EQ (recalls, 0);
}

INSTANTIATE_TEST_SUITE_P (Memory,
                          Recall,
                          ::testing::Values (RecallCase { 16, 5 }, RecallCase { 16, 0 }, RecallCase { 3, 1 }, RecallCase { 5, 14 },
                                             RecallCase { 2, 2 }, RecallCase { 0, 0 }));

} // namespace
