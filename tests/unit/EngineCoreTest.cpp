#include "engine/Engine.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

namespace
{

struct EngineFixture : testing::Test
{
    EngineFixture() { engine->prepare (48000.0, 5); }

    void chunk (int n = 256, bool playing = true, double ppq = 0.0)
    {
        engine->processChunk (params, 124.0, ppq, playing, left, right, n);
    }

    std::unique_ptr<vl::Engine> engine = std::make_unique<vl::Engine>();
    vl::EngineParams params;
    float left[256] {};
    float right[256] {};
};

TEST_F (EngineFixture, QueueKeeps255CommandsAndDropsTheRest)
{
    int accepted = 0;
    for (int i = 0; i < 300; ++i)
        accepted += engine->post ({ vl::SetBookmark, 0, i, i }) ? 1 : 0;
    EXPECT_EQ (accepted, 255);

    chunk();
    // The drain freed every slot: the queue takes 255 again.
    accepted = 0;
    for (int i = 0; i < 300; ++i)
        accepted += engine->post ({ vl::SetBookmark, 0, i, i }) ? 1 : 0;
    EXPECT_EQ (accepted, 255);
}

TEST_F (EngineFixture, ReadViewOnAQuietEngineSucceedsAtOnce)
{
    chunk (100, true, 2.0);
    bool called = false;
    EXPECT_TRUE (engine->readView ([&] (const vl::View& v) {
        called = true;
        EXPECT_FLOAT_EQ (v.position16, 8.0f);
        EXPECT_TRUE (v.playing);
        for (int lane = 0; lane < vl::numLanes; ++lane)
            EXPECT_GE (v.patterns[(size_t) lane].length, 1);
    }));
    EXPECT_TRUE (called);
}

TEST_F (EngineFixture, StepPlayheadRestartsOnTheOne)
{
    params.ettanBars = 4;
    chunk (16, true, 64.0 / 4.0 * 4.0 + 1.25); // sixteenth 261 = 5 past the restart at 256
    engine->readView ([] (const vl::View& v) {
        for (int lane = 0; lane < vl::numLanes; ++lane)
        {
            const float len = (float) v.patterns[(size_t) lane].length;
            EXPECT_FLOAT_EQ (v.step[(size_t) lane], std::fmod (5.0f, len));
        }
    });
}

TEST_F (EngineFixture, PrepareTwiceKeepsTheFirstPatterns)
{
    const auto before = engine->roll;
    engine->prepare (44100.0, 10);
    for (int lane = 0; lane < vl::numLanes; ++lane)
        EXPECT_EQ (std::memcmp (&before.lanes[(size_t) lane].basePattern, &engine->roll.lanes[(size_t) lane].basePattern,
                                sizeof (vl::Pattern)),
                   0);
    EXPECT_TRUE (engine->resync);
}

TEST_F (EngineFixture, RestoreRollTakesLanesSeedsBarsAndSeedAll)
{
    vl::RollSnapshot snapshot {};
    for (int lane = 0; lane < vl::numLanes; ++lane)
    {
        auto& l = snapshot.lanes[lane];
        l.basePattern.length = 5 + lane;
        l.basePattern.steps[0].on = true;
        l.basePattern.steps[0].chip = (std::uint16_t) (100 + lane);
        l.seed = 1000u + (unsigned) lane;
        l.baseBar = 40 + lane;
    }
    snapshot.seedAll = 0xC0FFEE;
    engine->roll.lanes[3].memory.count = 7;
    engine->resync = false;

    engine->setRestoreSnapshot (snapshot);
    engine->post ({ vl::RestoreRoll, 0, 0, 0 });
    chunk (64, false);

    EXPECT_EQ (engine->seedAll, 0xC0FFEEu);
    EXPECT_EQ (engine->lastMutBar, -1);
    EXPECT_TRUE (engine->resync);
    for (int lane = 0; lane < vl::numLanes; ++lane)
    {
        const auto& l = engine->roll.lanes[(size_t) lane];
        EXPECT_EQ (l.basePattern.length, 5 + lane);
        EXPECT_EQ (l.currentPattern.steps[0].chip, 100 + lane);
        EXPECT_EQ (l.laneSeed, 1000u + (unsigned) lane);
        EXPECT_EQ (l.baseBar, 40 + lane);
        EXPECT_EQ (l.memory.count, 0);
    }
    const auto published = engine->publishedRoll();
    EXPECT_EQ (std::memcmp (&published, &snapshot, sizeof (snapshot)), 0);
}

TEST_F (EngineFixture, UnknownCommandsAndKickVariantsAreIgnored)
{
    const auto before = engine->roll;
    engine->post ({ 6, 0, 1, 0 });
    engine->post ({ -1, 0, 1, 0 });
    engine->post ({ vl::NextLane, 0, 77, 0 });
    engine->post ({ vl::NextLane, 8, 77, 0 });
    chunk();
    EXPECT_EQ (std::memcmp (&before, &engine->roll, sizeof (before)), 0);
}

TEST_F (EngineFixture, DnaSevenReadsTheLiveCustomGroove)
{
    std::array<float, 48> groove {};
    groove[3] = 0.25f;
    engine->setCustomDna (groove);
    EXPECT_EQ (engine->liveCustomGroove()[3], 0.25f);
    groove[3] = -0.5f;
    engine->setCustomDna (groove);
    EXPECT_EQ (engine->liveCustomGroove()[3], -0.5f);
}

} // namespace
