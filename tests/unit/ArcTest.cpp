#include "engine/Arc.h"

#include <gtest/gtest.h>

namespace
{

vl::EngineParams withArc (float bage, int minutes = 6)
{
    vl::EngineParams p;
    p.bage = bage;
    p.bageMinutes = minutes;
    return p;
}

TEST (Arc, OffMeansFullLevelAndNoRestOrGaps)
{
    const auto p = withArc (0.0f);
    for (const std::int64_t bar : { 0, 7, 90, 1000 })
    {
        const auto point = vl::arc (bar, 124.0, p);
        EXPECT_EQ (point.level, 1.0f);
        EXPECT_FLOAT_EQ (point.drive, 1.4f);
        const auto gates = vl::laneGates (p, 12345, bar, point.level);
        for (float g : gates)
            EXPECT_EQ (g, 1.0f);
    }
}

TEST (Arc, LowLevelRestsAllButKickAndTick)
{
    const auto p = withArc (1.0f);
    const auto point = vl::arc (0, 120.0, p);
    EXPECT_NEAR (point.level, 0.22f, 1.0e-6f);
    const auto gates = vl::laneGates (p, 1, 0, point.level);
    const std::array<float, 8> expected { 1, 0, 0, 1, 0, 0, 0, 0 };
    EXPECT_EQ (gates, expected);
}

TEST (Arc, RestThresholdsFollowPriority)
{
    const std::array<float, 8> threshold { 0.0f, 0.28f, 0.395f, 0.165f, 0.625f, 0.74f, 0.51f, 0.855f };
    for (int lane = 1; lane < 8; ++lane)
    {
        EXPECT_TRUE (vl::arcRestsLane (threshold[(size_t) lane] - 0.001f, lane)) << lane;
        EXPECT_FALSE (vl::arcRestsLane (threshold[(size_t) lane] + 0.001f, lane)) << lane;
    }
    EXPECT_FALSE (vl::arcRestsLane (0.0f, 0));
}

TEST (Arc, SixMinutesAt120RepeatsEvery180Bars)
{
    const auto p = withArc (0.8f, 6);
    for (const std::int64_t bar : { 0, 13, 77, 150 })
        EXPECT_NEAR (vl::arc (bar, 120.0, p).level, vl::arc (bar + 180, 120.0, p).level, 1.0e-5f) << bar;
    // The curve peaks at 70 %: bar 126 of 180.
    EXPECT_NEAR (vl::arc (126, 120.0, p).level, 1.0f, 1.0e-5f);
    // A tempo change moves the position at once.
    EXPECT_NE (vl::arc (60, 120.0, p).level, vl::arc (60, 140.0, p).level);
}

TEST (Arc, LongGapsReachIntoTheNextPhraseAndEnd)
{
    const auto p = withArc (1.0f);
    // Find a variant seed whose phrase 3 carries a 16-bar gap on some lane.
    int found = 0;
    for (std::uint32_t seed = 1; seed < 5000 && found < 3; ++seed)
        for (int lane = 1; lane < 8; ++lane)
        {
            if (! vl::luckaMuted (p, seed, lane, 24 + 15) || vl::luckaMuted (p, seed, lane, 24 + 16))
                continue;
            if (vl::luckaMuted (p, seed, lane, 32 + 15))
                continue; // a later phrase's own gap, not the one we look for
            bool wholeStretch = true;
            for (int bar = 24; bar < 40; ++bar)
                wholeStretch = wholeStretch && vl::luckaMuted (p, seed, lane, bar);
            found += wholeStretch ? 1 : 0;
        }
    EXPECT_GT (found, 0);
}

TEST (Arc, GapsNeedTheArc)
{
    const auto p = withArc (0.0f);
    for (std::uint32_t seed = 0; seed < 200; ++seed)
        for (int lane = 1; lane < 8; ++lane)
            for (int bar = 0; bar < 64; bar += 3)
                ASSERT_FALSE (vl::luckaMuted (p, seed, lane, bar));
}

} // namespace
