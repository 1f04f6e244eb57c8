#include "engine/Engine.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <memory>
#include <vector>

namespace
{

struct Log
{
    std::vector<vl::Engine::Pending> hits;
    std::vector<float> offsets;
    static void scheduled (void* c, const vl::Engine::Pending& p, float offset16)
    {
        static_cast<Log*> (c)->hits.push_back (p);
        static_cast<Log*> (c)->offsets.push_back (offset16);
    }
};

struct SchedulingFixture : testing::Test
{
    SchedulingFixture()
    {
        engine->prepare (48000.0, 5);
        engine->probe = { &log, &Log::scheduled, nullptr };
        for (auto& lane : params.lanes)
            lane.niva = 0.6f;
    }

    void play (double fromPpq, double quarters, double bpm = 120.0)
    {
        const double perChunk = 256 * bpm / 60.0 / 48000.0;
        for (double q = 0.0; q < quarters; q += perChunk)
            engine->processChunk (params, bpm, fromPpq + q, true, left, right, 256);
    }

    void setPattern (int lane, const char* steps)
    {
        vl::Pattern p;
        p.length = (int) std::strlen (steps);
        for (int i = 0; i < p.length; ++i)
        {
            p.steps[(size_t) i].on = steps[i] != '.';
            p.steps[(size_t) i].chip = (std::uint16_t) (i + 1);
        }
        engine->roll.setBase (lane, p, 1, 0);
    }

    std::unique_ptr<vl::Engine> engine = std::make_unique<vl::Engine>();
    vl::EngineParams params;
    Log log;
    float left[256] {}, right[256] {};
};

TEST_F (SchedulingFixture, StartAtZeroBeginsWithSixteenthOne)
{
    play (0.0, 1.0);
    ASSERT_FALSE (log.hits.empty());
    EXPECT_EQ (log.hits.front().sixteenth, 1u);
    EXPECT_EQ (engine->bar.load(), 0);
    EXPECT_EQ (engine->historyCount, 1) << "bar 0's bar work ran through the relocation";
}

TEST_F (SchedulingFixture, SilentLanesScheduleNothingAndKeepTheirLastChip)
{
    params.lanes[3].tyst = true;
    params.lanes[4].niva = 0.0f;
    play (0.0, 16.0);
    for (const auto& h : log.hits)
    {
        EXPECT_NE (h.lane, 3);
        EXPECT_NE (h.lane, 4);
    }
    EXPECT_EQ (engine->lastChip[3], -1);
}

TEST_F (SchedulingFixture, KickNeverMovesNorTakesAccents)
{
    params.svang = 1.2f;
    params.dna = 3;
    play (0.0, 64.0);
    int kicks = 0;
    for (size_t i = 0; i < log.hits.size(); ++i)
        if (log.hits[i].lane == 0)
        {
            ++kicks;
            EXPECT_EQ (log.offsets[i], 0.0f);
            const float v = log.hits[i].velocity;
            EXPECT_TRUE (v == 1.0f || v == 0.78f || v == 0.38f) << v;
        }
    EXPECT_GT (kicks, 0);
}

TEST_F (SchedulingFixture, OffsetsStayInsideTheirSixteenth)
{
    params.svang = 1.2f;
    params.dna = 3;
    play (0.0, 64.0);
    for (size_t i = 0; i < log.hits.size(); ++i)
    {
        EXPECT_GE (log.offsets[i], -0.45f);
        EXPECT_LE (log.offsets[i], 0.45f);
    }
}

TEST_F (SchedulingFixture, TheOneRestartsOddLengthsEveryFourBars)
{
    params.ettanBars = 4;
    for (auto& lane : params.lanes)
        lane.drift = 0.0f;
    setPattern (2, "x......"); // KLICK, 7 steps, one hit on step 0
    play (0.0, 4.0 * 9);
    std::vector<std::uint32_t> klick;
    for (const auto& h : log.hits)
        if (h.lane == 2 && ! h.ghost)
            klick.push_back (h.sixteenth);
    // Steps restart at 64 and 128; in between every 7th sixteenth.
    const std::vector<std::uint32_t> expected { 7, 14, 21, 28, 35, 42, 49, 56, 63, 64, 71, 78, 85, 92, 99, 106, 113, 120, 127, 128, 135, 142 };
    ASSERT_GE (klick.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ (klick[i], expected[i]) << i;
}

TEST_F (SchedulingFixture, CrowdedBandGivesWayByPriority)
{
    for (auto& lane : params.lanes)
        lane.drift = 0.0f;
    params.svang = 0.0f;
    for (const int lane : { 0, 1, 3, 6 })
        params.lanes[(size_t) lane].tyst = true;
    // KLICK, RÖST, TON, SPÖKE all in band 1, all on every step.
    for (const int lane : { 2, 4, 5, 7 })
        setPattern (lane, "xxxxxxxxxxxxxxxx");
    play (0.0, 2.0);
    std::map<int, float> velocity;
    for (const auto& h : log.hits)
        if (h.sixteenth == 5)
            velocity[h.lane] = h.velocity;
    ASSERT_EQ (velocity.size(), 4u);
    EXPECT_FLOAT_EQ (velocity[2], 0.78f);       // KLICK, priority 3
    EXPECT_FLOAT_EQ (velocity[4], 0.78f);       // RÖST, priority 5
    EXPECT_FLOAT_EQ (velocity[5], 0.78f * 0.7f); // TON, priority 6
    EXPECT_FLOAT_EQ (velocity[7], 0.78f * 0.7f); // SPÖKE, priority 7
}

TEST_F (SchedulingFixture, OnlyAPositionErrorBeyondAFiftiethRelocates)
{
    for (const auto& [error, relocates] : { std::pair { -0.04, false }, std::pair { -1.0, true } })
    {
        log.hits.clear();
        engine->resync = true;
        play (0.0, 8.0, 120.0);
        // The host nudges tempo and position; a relocation would schedule some sixteenths again.
        play (engine->expectedPpq + error, 2.0, 121.0);
        std::map<std::pair<std::uint32_t, int>, int> seen;
        bool repeated = false;
        for (const auto& h : log.hits)
            repeated = repeated || ++seen[{ h.sixteenth, h.lane }] > 1;
        EXPECT_EQ (repeated, relocates) << "position error " << error;
    }
}

TEST_F (SchedulingFixture, StoppingEmptiesThePendingQueue)
{
    play (0.0, 2.0);
    engine->processChunk (params, 120.0, 2.0, false, left, right, 64);
    EXPECT_EQ (engine->pendingCount.load(), 0);
    const auto count = log.hits.size();
    engine->processChunk (params, 120.0, 2.0, false, left, right, 256);
    EXPECT_EQ (log.hits.size(), count) << "nothing is scheduled while stopped";
}

} // namespace
