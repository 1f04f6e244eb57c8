#include "engine/Engine.h"
#include "family/Random.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace
{

struct HistoryFixture : testing::Test
{
    HistoryFixture()
    {
        engine->prepare (48000.0, 5);
        for (auto& lane : params.lanes)
            lane.niva = 0.6f;
        chunk();
    }

    // A stopped chunk runs commands without bar work, so no automatic history entry sneaks in.
    void chunk() { engine->processChunk (params, 124.0, 0.0, false, left, right, 64); }

    void post (vl::CommandKind kind, int lane = 0, std::uint32_t seed = 0)
    {
        engine->post ({ kind, lane, (std::int32_t) seed, 0 });
        chunk();
    }

    vl::HistoryEntry now() const
    {
        vl::HistoryEntry e;
        for (int lane = 0; lane < vl::numLanes; ++lane)
        {
            e.patterns[(size_t) lane] = engine->roll.lanes[(size_t) lane].currentPattern;
            e.seeds[(size_t) lane] = engine->roll.lanes[(size_t) lane].laneSeed;
        }
        return e;
    }

    static bool same (const vl::HistoryEntry& a, const vl::HistoryEntry& b)
    {
        return std::memcmp (&a, &b, sizeof (a)) == 0;
    }

    std::unique_ptr<vl::Engine> engine = std::make_unique<vl::Engine>();
    vl::EngineParams params;
    float left[256] {}, right[256] {};
};

TEST_F (HistoryFixture, NextThenBackRestoresExactly)
{
    const auto before = now();
    post (vl::NextAll, 0, 0xabcdef);
    EXPECT_FALSE (same (before, now()));
    EXPECT_EQ (engine->seedAll, 0xabcdefu);
    post (vl::Back);
    EXPECT_TRUE (same (before, now()));
}

TEST_F (HistoryFixture, TwentyVariantsKeepSixteenAndWalkBackInOrder)
{
    std::vector<vl::HistoryEntry> states;
    for (std::uint32_t press = 0; press < 20; ++press)
    {
        states.push_back (now());
        post (vl::NextAll, 0, 1000 + press);
    }
    EXPECT_EQ (engine->historyCount, 16);
    for (int back = 0; back < 16; ++back)
        post (vl::Back);
    EXPECT_TRUE (same (now(), states[4])) << "sixteen steps back is the state before the fifth press";
    EXPECT_EQ (engine->historyCount, 0);
    const auto end = now();
    post (vl::Back);
    EXPECT_TRUE (same (end, now())) << "an empty history changes nothing";
}

TEST_F (HistoryFixture, KickOnlyChangesByGoingBack)
{
    const auto kick = engine->roll.lanes[0].currentPattern;
    post (vl::NextAll, 0, 77);
    post (vl::NextLane, 0, 78);
    EXPECT_EQ (std::memcmp (&kick, &engine->roll.lanes[0].currentPattern, sizeof (kick)), 0);
    EXPECT_EQ (engine->historyCount, 1) << "NextLane on KICK is ignored without a history entry";
}

TEST_F (HistoryFixture, FrozenLanesStayAndPassTheirFeelOn)
{
    params.lanes[3].frys = true; // TICK
    const auto before = now();
    post (vl::NextAll, 0, 99);
    const auto after = now();
    EXPECT_EQ (std::memcmp (&before.patterns[3], &after.patterns[3], sizeof (vl::Pattern)), 0);
    EXPECT_EQ (before.seeds[3], after.seeds[3]);

    // ARV: unfrozen lanes are inherited from their current patterns, not generated afresh.
    vl::Roll expected = engine->roll;
    for (int lane = 1; lane < vl::numLanes; ++lane)
        expected.lanes[(size_t) lane].currentPattern = before.patterns[(size_t) lane];
    for (int lane : { 1, 2, 4, 5, 6, 7 })
    {
        const auto& gen = vl::LaneGen { params.lanes[(size_t) lane].tathet, params.lanes[(size_t) lane].steg,
                                        params.lanes[(size_t) lane].drift, params.lanes[(size_t) lane].bakl, false };
        expected.inherit (lane, gen, gv::hashMix (99, (std::uint32_t) lane), 0);
        EXPECT_EQ (std::memcmp (&expected.lanes[(size_t) lane].basePattern, &after.patterns[(size_t) lane], sizeof (vl::Pattern)), 0)
            << "lane " << lane;
    }

    // A frozen lane's own next-variant button still changes it, by inheritance.
    post (vl::NextLane, 3, 1234);
    EXPECT_NE (std::memcmp (&after.patterns[3], &engine->roll.lanes[3].currentPattern, sizeof (vl::Pattern)), 0);
    EXPECT_EQ (engine->roll.lanes[3].laneSeed, 1234u);

    // Going back keeps frozen lanes as they are.
    const auto tick = engine->roll.lanes[3].currentPattern;
    post (vl::Back);
    EXPECT_EQ (std::memcmp (&tick, &engine->roll.lanes[3].currentPattern, sizeof (tick)), 0);
}

TEST_F (HistoryFixture, BookmarksStoreAndRecallTheRoll)
{
    post (vl::NextAll, 0, 5);
    const auto marked = now();
    engine->post ({ vl::SetBookmark, 0, 0, 33 }); // slot 33 wraps to 1
    chunk();
    EXPECT_TRUE (engine->bookmarkValid[1].load());
    post (vl::NextAll, 0, 6);
    engine->post ({ vl::RecallBookmark, 0, 0, 1 });
    chunk();
    EXPECT_TRUE (same (marked, now()));

    const auto before = now();
    engine->post ({ vl::RecallBookmark, 0, 0, 7 }); // never set
    chunk();
    EXPECT_TRUE (same (before, now()));
}

TEST_F (HistoryFixture, UnchangedBarsAddNoEntries)
{
    for (auto& lane : params.lanes)
        lane.drift = 0.0f; // nothing mutates, so every automatic entry would repeat the first
    const double quartersPerChunk = 256 * 124.0 / 60.0 / 48000.0;
    for (int i = 0; i * quartersPerChunk < 4 * 20; ++i)
        engine->processChunk (params, 124.0, i * quartersPerChunk, true, left, right, 256);
    EXPECT_GE (engine->bar.load(), 16);
    EXPECT_EQ (engine->historyCount, 1);
}

} // namespace
