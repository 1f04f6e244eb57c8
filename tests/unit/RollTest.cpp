// Setting a lane's base and inheriting a variant.
#include "patterns/Generate.h"
#include "patterns/Mutate.h"
#include "patterns/Roll.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace
{

bool sameBytes (const vl::Pattern& a, const vl::Pattern& b) { return std::memcmp (&a, &b, sizeof (vl::Pattern)) == 0; }

// A roll whose lanes carry generated patterns and some mutation history.
class RollFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        for (int lane = 0; lane < vl::numLanes; ++lane)
        {
            roll->setBase (lane, vl::generate (lane, {}, gv::laneSeed (4011, lane)), gv::laneSeed (4011, lane), 3);
            auto& entry = roll->lanes[static_cast<std::size_t> (lane)];
            for (std::int64_t bar = 4; bar < 24; ++bar)
            {
                auto rng = gv::mutationDrawSource (entry.laneSeed, bar, lane);
                vl::mutate (lane, entry.currentPattern, entry.memory, {}, rng);
            }
        }
    }

    std::unique_ptr<vl::Roll> roll = std::make_unique<vl::Roll>();
};

TEST_F (RollFixture, SetBaseMakesBaseAndCurrentAndForgets)
{
    const auto pattern = vl::patternFromText ("x.x.x.x.");
    roll->setBase (vl::ton, pattern, 77, 123);
    const auto& entry = roll->lanes[vl::ton];
    EXPECT_TRUE (sameBytes (entry.basePattern, pattern));
    EXPECT_TRUE (sameBytes (entry.currentPattern, pattern));
    EXPECT_EQ (entry.laneSeed, 77u);
    EXPECT_EQ (entry.baseBar, 123);
    EXPECT_EQ (entry.memory.count, 0);
    EXPECT_EQ (entry.memory.head, 0);
}

// inherit reuses the lane's memory as scratch; it must equal four mutations with a fresh one.
TEST_F (RollFixture, InheritIsFourMutationsOfTheCurrentPattern)
{
    for (int lane = 0; lane < vl::numLanes; ++lane)
    {
        const auto& entry = roll->lanes[static_cast<std::size_t> (lane)];
        ASSERT_GT (lane == vl::kick ? 3 : entry.memory.count, 2) << "fixture should leave memory to forget";

        const vl::LaneGen gen;
        const std::uint32_t seed = gv::hashMix (99, static_cast<std::uint32_t> (lane));
        auto expected = entry.currentPattern;
        vl::LaneMemory fresh;
        gv::Rng rng (seed);
        for (int i = 0; i < 4; ++i)
            vl::mutate (lane, expected, fresh, gen, rng);

        roll->inherit (lane, gen, seed, 40);

        EXPECT_TRUE (sameBytes (entry.basePattern, expected)) << "lane " << lane;
        EXPECT_TRUE (sameBytes (entry.currentPattern, expected)) << "lane " << lane;
        EXPECT_EQ (entry.laneSeed, seed);
        EXPECT_EQ (entry.baseBar, 40);
        EXPECT_EQ (entry.memory.count, 0);
        EXPECT_EQ (entry.memory.head, 0);
    }
}

TEST_F (RollFixture, InheritOnKickOnlyRebases)
{
    const auto kick = roll->lanes[vl::kick].currentPattern;
    roll->inherit (vl::kick, {}, 5, 8);
    EXPECT_TRUE (sameBytes (roll->lanes[vl::kick].basePattern, kick));
    EXPECT_TRUE (sameBytes (roll->lanes[vl::kick].currentPattern, kick));
    EXPECT_EQ (roll->lanes[vl::kick].laneSeed, 5u);
}

} // namespace
