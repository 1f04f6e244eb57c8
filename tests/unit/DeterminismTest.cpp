// The promise: whatever VIRL plays at a bar depends only on integers, so after a jump, a loop or a
// restored state the music from that bar on is the same as when the host played up to it.
#include "engine/Engine.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <tuple>
#include <vector>

namespace
{

struct Hit
{
    int lane;
    std::uint32_t sixteenth;
    float offset16;
    float velocity;
    std::uint16_t chip;
    std::int8_t pitch;
    bool reverse, ghost;

    auto key() const { return std::tie (sixteenth, lane, offset16, velocity, chip, pitch, reverse, ghost); }
    bool operator== (const Hit& o) const { return key() == o.key(); }
};

std::ostream& operator<< (std::ostream& out, const Hit& h)
{
    return out << "lane " << h.lane << " sixteenth " << h.sixteenth << " offset " << h.offset16 << " vel "
               << h.velocity << " chip " << h.chip << " pitch " << (int) h.pitch << " rev " << h.reverse;
}

struct Recorder
{
    std::vector<Hit> hits;

    static void scheduled (void* context, const vl::Engine::Pending& p, float offset16)
    {
        static_cast<Recorder*> (context)->hits.push_back (
            { p.lane, p.sixteenth, offset16, p.velocity, p.chip, p.pitch, p.reverse, p.ghost != 0 });
    }

    std::vector<Hit> from (std::uint32_t sixteenth, std::uint32_t until) const
    {
        std::vector<Hit> out;
        for (const auto& h : hits)
            if (h.sixteenth >= sixteenth && h.sixteenth < until)
                out.push_back (h);
        return out;
    }
};

struct Player
{
    Player (const vl::EngineParams& params, double bpm) : params (params), bpm (bpm)
    {
        engine->prepare (48000.0, 5);
        engine->probe = { &recorder, &Recorder::scheduled, nullptr };
    }

    // Plays continuously from ppq for the given number of bars, in chunks of 256 frames.
    void play (double ppq, double bars)
    {
        const double quartersPerFrame = bpm / 60.0 / 48000.0;
        const auto frames = (std::int64_t) (bars * 4.0 / quartersPerFrame);
        for (std::int64_t done = 0; done < frames; done += 256)
            engine->processChunk (params, bpm, ppq + (double) done * quartersPerFrame, true, left, right, 256);
    }

    vl::EngineParams params;
    double bpm;
    std::unique_ptr<vl::Engine> engine = std::make_unique<vl::Engine>();
    Recorder recorder;
    float left[256] {}, right[256] {};
};

vl::EngineParams restlessParams (int ettanBars)
{
    vl::EngineParams p;
    p.bage = 1.0f;        // the arc on, at full depth
    p.bageMinutes = 6;
    p.ettanBars = ettanBars;
    p.svang = 1.1f;
    for (auto& lane : p.lanes)
    {
        lane.niva = 0.7f;
        lane.drift = 0.95f;
        lane.bakl = 0.3f;
    }
    return p;
}

struct Setting
{
    int ettanBars;
    double bpm;
};

class JumpDeterminism : public testing::TestWithParam<Setting>
{
};

void expectSameHits (const std::vector<Hit>& expected, const std::vector<Hit>& actual, const char* what)
{
    ASSERT_FALSE (expected.empty()) << what;
    ASSERT_EQ (expected.size(), actual.size()) << what;
    for (size_t i = 0; i < expected.size(); ++i)
        ASSERT_EQ (expected[i], actual[i]) << what << ", hit " << i;
}

TEST_P (JumpDeterminism, JumpsAndLoopsReplayTheSameHits)
{
    const auto [ettanBars, bpm] = GetParam();
    const auto params = restlessParams (ettanBars);

    Player continuous (params, bpm);
    continuous.play (0.0, 301);

    for (const int bar : { 17, 64, 200 })
    {
        Player jumper (params, bpm);
        jumper.play (bar * 4.0, 24);
        ASSERT_FALSE (jumper.recorder.hits.empty());
        const auto first = jumper.recorder.hits.front().sixteenth;
        const auto until = (std::uint32_t) (bar + 23) * 16;
        expectSameHits (continuous.recorder.from (first, until), jumper.recorder.from (first, until),
                        ("jump to bar " + std::to_string (bar)).c_str());
    }

    Player looper (params, bpm);
    looper.play (0.0, 120);
    looper.recorder.hits.clear();
    looper.play (100 * 4.0, 20);
    const auto first = looper.recorder.hits.front().sixteenth;
    expectSameHits (continuous.recorder.from (first, 119 * 16), looper.recorder.from (first, 119 * 16),
                    "loop from 120 back to 100");
}

INSTANTIATE_TEST_SUITE_P (Engine, JumpDeterminism,
                          testing::Values (Setting { 4, 124.0 }, Setting { 0, 124.0 }, Setting { 4, 97.3 },
                                           Setting { 0, 171.0 }),
                          [] (const auto& info) {
                              return "ettan" + std::to_string (info.param.ettanBars) + "_bpm"
                                   + std::to_string ((int) info.param.bpm);
                          });

TEST (Determinism, RestoredRollContinuesAsTheOriginal)
{
    const auto params = restlessParams (8);
    Player original (params, 124.0);
    original.engine->post ({ vl::NextAll, 0, 0x5eed, 0 });
    original.play (0.0, 40);
    original.engine->post ({ vl::NextLane, 3, 0x1234, 0 });
    original.play (40 * 4.0, 60);

    // What a saved project holds: bases, seeds, base bars and the variant seed.
    const auto snapshot = original.engine->publishedRoll();
    original.play (100 * 4.0, 30);

    Player restored (params, 124.0);
    restored.engine->setRestoreSnapshot (snapshot);
    restored.engine->post ({ vl::RestoreRoll, 0, 0, 0 });
    restored.play (100 * 4.0, 30);

    const auto first = restored.recorder.hits.front().sixteenth;
    expectSameHits (original.recorder.from (first, 129 * 16), restored.recorder.from (first, 129 * 16),
                    "after a restore");
}

} // namespace
