// Voices and hit firing: the kick and bass synths, chip playback, voice stealing, box choice, pitch and the hit log.
#include "engine/Voices.h"
#include "engine/SoftClip.h"
#include "family/GuldRecorder.h"
#include "material/Virl.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <vector>

namespace
{

constexpr double rate = 48000.0;
constexpr int chunk = 256;

std::shared_ptr<vl::Virl> makeChip (int frames, const std::function<float (int)>& sample, float pitch = 0.0f,
                                    float chipRate = 48000.0f)
{
    auto chip = std::make_shared<vl::Virl>();
    for (int i = 0; i < frames; ++i)
    {
        chip->left.push_back (sample (i));
        chip->right.push_back (sample (i));
    }
    chip->pitch = pitch;
    chip->sampleRate = chipRate;
    return chip;
}

std::shared_ptr<vl::Virl> constantChip (int frames, float pitch = 0.0f) { return makeChip (frames, [] (int) { return 1.0f; }, pitch); }

// Eight stereo lane buses of one chunk.
struct Buses
{
    std::vector<float> left = std::vector<float> (vl::numLanes * chunk);
    std::vector<float> right = std::vector<float> (vl::numLanes * chunk);
    float* leftPointers[vl::numLanes];
    float* rightPointers[vl::numLanes];

    Buses()
    {
        for (int i = 0; i < vl::numLanes; ++i)
        {
            leftPointers[i] = left.data() + i * chunk;
            rightPointers[i] = right.data() + i * chunk;
        }
    }
    void clear()
    {
        std::fill (left.begin(), left.end(), 0.0f);
        std::fill (right.begin(), right.end(), 0.0f);
    }
    float* laneLeft (int lane) { return leftPointers[lane]; }
};

vl::Hit hitOn (int lane, float velocity = 1.0f, int pitch = 0)
{
    vl::Hit h;
    h.lane = lane;
    h.velocity = velocity;
    h.pitch = pitch;
    h.sixteenthSamples = 6000.0f;
    return h;
}

// A prepared set of voices, a recorder for the hit log and a bank to fill per test.
struct VoicesTest : ::testing::Test
{
    std::unique_ptr<vl::Voices> voices = std::make_unique<vl::Voices>();
    gv::GuldRecorder recorder;
    vl::Bank bank;
    vl::EngineParams p;
    Buses buses;

    VoicesTest()
    {
        voices->prepare (rate);
        recorder.prepare (1, rate);
        p.foljMidi = false;
        for (auto& lane : p.lanes)
        {
            lane.niva = 1.0f;
            lane.pan = 0.0f; // centre: both gains cos(π/4)
            lane.langd = 1.0f;
        }
    }

    bool fire (const vl::Hit& hit, int midiNote = -1) { return voices->fire (hit, p, &bank, midiNote, &recorder); }

    // Renders `frames` samples chunk by chunk and returns the lane's left bus, joined.
    std::vector<float> renderLane (int lane, int frames)
    {
        std::vector<float> out;
        while ((int) out.size() < frames)
        {
            const int n = std::min (chunk, frames - (int) out.size());
            buses.clear();
            voices->render (p, 0.0f, buses.leftPointers, buses.rightPointers, 0, n);
            out.insert (out.end(), buses.laneLeft (lane), buses.laneLeft (lane) + n);
        }
        return out;
    }

    const gv::HitEvent& lastEvent() const { return recorder.events()[(recorder.eventCount() - 1) % gv::GuldRecorder::eventSlots]; }

    vl::ChipVoice& voice (int lane, int slot) { return voices->chipVoices[(size_t) (lane - vl::firstChipLane)][(size_t) slot]; }
};

const float centre = std::cos (std::numbers::pi_v<float> * 0.25f);

TEST (SoftClip, KnownValuesAndFlatOutside)
{
    struct Case
    {
        float x, expected;
    };
    for (const auto& c : { Case { 0.0f, 0.0f }, Case { 1.0f, 0.7777778f }, Case { -1.0f, -0.7777778f },
                           Case { 3.0f, 1.0f }, Case { 4.5f, 1.016129f }, Case { 4.6f, 1.016129f },
                           Case { -1.0e30f, -1.016129f }, Case { 1.0e30f, 1.016129f } })
        EXPECT_NEAR (vl::softClip (c.x), c.expected, 1.0e-6f) << c.x;

    // Monotonic everywhere, so no input maps back toward zero.
    float previous = vl::softClip (-10.0f);
    for (float x = -10.0f; x <= 10.0f; x += 0.001f)
    {
        const float y = vl::softClip (x);
        EXPECT_GE (y, previous - 1.0e-6f) << x;
        previous = y;
    }
}

TEST (KickSynth, WithoutClickOrDriveNeverExceedsLevelTimesClipOfOne)
{
    for (const float kTon : { 38.0f, 50.0f, 72.0f })
        for (const float kLangd : { 0.0f, 1.0f })
        {
            vl::EngineParams p;
            p.kTon = kTon;
            p.kLangd = kLangd;
            p.kKlick = 0.0f;
            p.kDriv = 0.0f;
            vl::KickSynth kick;
            kick.prepare (rate);
            kick.trigger (0.9f);
            std::vector<float> left ((size_t) (3.5 * rate)), right (left.size());
            kick.render (p, left.data(), right.data(), (int) left.size());

            float peak = 0.0f;
            for (float x : left)
                peak = std::max (peak, std::fabs (x));
            EXPECT_LE (peak, 0.9f * 0.7777778f + 1.0e-6f) << kTon << " " << kLangd;
            EXPECT_GT (peak, 0.9f * 0.6f); // it does sound
            EXPECT_EQ (left[0], 0.0f);     // the attack starts from silence
            EXPECT_EQ (left[(size_t) (3.2 * rate)], 0.0f) << "silent 3 s after the trigger";
            EXPECT_FALSE (kick.isSounding());
        }
}

TEST_F (VoicesTest, BassPlaysKeyPlusSnappedDegreeAndLogsIt)
{
    struct Case
    {
        int tonart, midiNote, pitch, scale;
        float ton;
        int expectedNote;
    };
    // A (9) + 33 + MOLL snap of 4 (3) = 45, 110 Hz; MIDI D (62) sets the key to 2 when followed.
    for (const auto& c : { Case { 9, -1, 4, 0, 0.0f, 45 }, Case { 9, 62, 0, 0, 0.0f, 35 },
                           Case { 0, -1, 3, 4, 0.0f, 33 }, Case { 0, -1, 0, 0, -12.0f, 21 } })
    {
        voices->prepare (rate);
        p.tonart = c.tonart;
        p.foljMidi = c.midiNote >= 0;
        p.skala = c.scale;
        p.lanes[vl::Lane::bas].ton = c.ton;
        p.lanes[vl::Lane::bas].farg = -1.0f; // no triangle blend: a clean sine to count
        p.lanes[vl::Lane::bas].langd = 1.0f;
        auto hit = hitOn (vl::Lane::bas, 0.5f, c.pitch);
        hit.sixteenthSamples = 48000.0f; // 3.5 sixteenths of 1 s: the gate outlasts the count
        ASSERT_TRUE (fire (hit, c.midiNote));
        EXPECT_EQ (lastEvent().note, c.expectedNote);
        EXPECT_EQ (lastEvent().length, 4); // nearest of 3.5
        EXPECT_EQ (lastEvent().velocity, 63);

        const auto out = renderLane (vl::Lane::bas, (int) rate);
        int rising = 0;
        for (size_t i = 24000; i + 1 < out.size(); ++i)
            rising += out[i] <= 0.0f && out[i + 1] > 0.0f ? 1 : 0;
        const double hz = 440.0 * std::exp2 ((c.expectedNote - 69) / 12.0);
        EXPECT_NEAR (rising, hz * 0.5, 1.5) << c.expectedNote;
    }
}

TEST_F (VoicesTest, BassReleasesWhenTheTransportStops)
{
    auto hit = hitOn (vl::Lane::bas, 1.0f);
    hit.sixteenthSamples = 48000.0f;
    fire (hit);
    renderLane (vl::Lane::bas, 4800);
    voices->releaseBass();
    const auto out = renderLane (vl::Lane::bas, (int) rate);
    EXPECT_FALSE (voices->bass.isSounding());
    EXPECT_EQ (out.back(), 0.0f);
}

TEST_F (VoicesTest, SeventhHitTakesOverTheOldestVoice)
{
    bank.boxes[0].push_back (constantChip (48000));
    for (int i = 0; i < vl::voicesPerLane; ++i)
    {
        ASSERT_TRUE (fire (hitOn (vl::Lane::klick)));
        renderLane (vl::Lane::klick, 10);
    }
    // Slot 0 is the oldest (60 samples), slot 5 the youngest (10).
    ASSERT_EQ (voice (vl::Lane::klick, 0).age, 60);
    fire (hitOn (vl::Lane::klick));
    EXPECT_EQ (voice (vl::Lane::klick, 0).age, 0);
    for (int slot = 1; slot < vl::voicesPerLane; ++slot)
        EXPECT_EQ (voice (vl::Lane::klick, slot).age, 60 - 10 * slot);

    // On a tie the lower slot goes: all six start together, the seventh lands in slot 0 again.
    voices->prepare (rate);
    for (int i = 0; i < vl::voicesPerLane; ++i)
        fire (hitOn (vl::Lane::klick));
    renderLane (vl::Lane::klick, 5);
    fire (hitOn (vl::Lane::klick));
    EXPECT_EQ (voice (vl::Lane::klick, 0).age, 0);
    EXPECT_EQ (voice (vl::Lane::klick, 1).age, 5);
}

TEST_F (VoicesTest, ShortNotesStillPlaySixtyFourSamplesThenFade)
{
    // 500 frames at langd 0 ask for 40 samples; 64 play at full gain, then the 96-sample fade.
    bank.boxes[0].push_back (constantChip (500));
    p.lanes[vl::Lane::klick].langd = 0.0f;
    fire (hitOn (vl::Lane::klick));
    EXPECT_EQ (voice (vl::Lane::klick, 0).gate, 64);
    const auto out = renderLane (vl::Lane::klick, 300);
    const float full = 0.85f * centre;
    EXPECT_FLOAT_EQ (out[63], full);
    EXPECT_FLOAT_EQ (out[64], full); // the fade's first step is 96/96
    EXPECT_LT (out[100], full);
    EXPECT_GT (out[158], 0.0f);
    EXPECT_EQ (out[159], 0.0f);
    EXPECT_FALSE (voice (vl::Lane::klick, 0).active);

    // A chip shorter than 64 samples ends with the chip.
    voices->prepare (rate);
    bank.boxes[0][0] = constantChip (40);
    fire (hitOn (vl::Lane::klick));
    const auto shortOut = renderLane (vl::Lane::klick, 100);
    EXPECT_GT (shortOut[38], 0.0f);
    EXPECT_EQ (shortOut[39], 0.0f);
}

TEST_F (VoicesTest, ReadsTheChipForwardsOrBackwardsFromEndToEnd)
{
    // Frame i holds i, read at the chip's own rate: sample s reads frame s (or 99 − s backwards).
    bank.boxes[0].push_back (makeChip (100, [] (int i) { return (float) i; }));
    for (const bool backwards : { false, true })
    {
        voices->prepare (rate);
        auto hit = hitOn (vl::Lane::klick);
        hit.reverse = backwards;
        fire (hit);
        const auto out = renderLane (vl::Lane::klick, 120);
        const float g = 0.85f * centre;
        for (int s = 32; s < 99; ++s)
            EXPECT_NEAR (out[(size_t) s] / g, backwards ? 99 - s : s, 1.0e-3f) << s << (backwards ? " backwards" : "");
        if (backwards)
        {
            EXPECT_NEAR (out[98] / g, 1.0f, 1.0e-4f);
            EXPECT_EQ (out[99], 0.0f); // frame 0 holds 0, and the voice ends there
        }
        EXPECT_EQ (out[100], 0.0f);
        EXPECT_FALSE (voice (vl::Lane::klick, 0).active);
    }
}

TEST_F (VoicesTest, ChipPitchFollowsLaneTuningScaleAndChipPitch)
{
    struct Case
    {
        int lane;
        float chipPitch, ton;
        int pitch;
        double semitones; // the transposition the voice must play
        int note;         // the logged note
    };
    // Key A (9), MOLL: TON's offset 4 snaps to 3, so the target is 9 + 60 + 3 = 72.
    const Case cases[] {
        { vl::Lane::ton, 0.0f, 0.0f, 4, 3.0, 72 },     // unpitched: the degree directly
        { vl::Lane::ton, 0.0f, -5.0f, 4, -2.0, 67 },   // unpitched plus tuning
        { vl::Lane::ton, 62.0f, 0.0f, 4, -2.0, 72 },   // 72 − 62 = 10 folds to −2
        { vl::Lane::ton, 57.0f, 1.0f, 4, 4.0, 73 },    // 15 folds to 3, plus 1
        { vl::Lane::rost, 60.0f, 2.0f, 5, 7.0, 67 },   // other lanes: tuning plus raw offset
        { vl::Lane::rost, 0.0f, 24.0f, 20, 36.0, 104 }, // 44 semitones clamp to three octaves up
        { vl::Lane::luft, 0.0f, -24.0f, -20, -36.0, 2 },
    };
    p.tonart = 9;
    p.skala = 0;
    for (const auto& c : cases)
    {
        voices->prepare (rate);
        bank = {};
        bank.boxes[(size_t) (c.lane == vl::Lane::luft ? vl::brusBox : c.lane - vl::firstChipLane)].push_back (
            constantChip (4800, c.chipPitch));
        p.lanes[(size_t) c.lane].ton = c.ton;
        ASSERT_TRUE (fire (hitOn (c.lane, 1.0f, c.pitch)));
        EXPECT_NEAR (voice (c.lane, 0).rate, std::exp2 (c.semitones / 12.0), 1.0e-9) << c.lane << " " << c.pitch;
        EXPECT_EQ (lastEvent().note, c.note) << c.lane << " " << c.pitch;
        EXPECT_EQ (lastEvent().length, 1);
    }
}

TEST_F (VoicesTest, BoxChoiceFallsBackAndFailsQuietly)
{
    const auto klick = constantChip (100), brus = constantChip (100), ghost = constantChip (100), ton = constantChip (100);
    struct Case
    {
        int lane, lada;
        bool ghostFilled, brusFilled;
        const vl::Virl* expected; // nullptr: nothing plays and nothing is logged
    };
    const Case cases[] {
        { vl::Lane::spoke, -1, true, true, ghost.get() },
        { vl::Lane::spoke, -1, false, true, brus.get() },     // empty ghost box: BRUS
        { vl::Lane::spoke, -1, false, false, nullptr },       // both empty
        { vl::Lane::luft, -1, true, true, brus.get() },       // LUFT's own box is BRUS
        { vl::Lane::klick, 3, true, true, ton.get() },        // lada picks TON
        { vl::Lane::klick, 5, false, true, brus.get() },      // lada picks the empty ghost box
        { vl::Lane::tick, -1, true, true, nullptr },          // TICK's box is empty
    };
    for (const auto& c : cases)
    {
        voices->prepare (rate);
        bank = {};
        bank.boxes[0].push_back (klick);
        bank.boxes[3].push_back (ton);
        if (c.brusFilled)
            bank.boxes[vl::brusBox].push_back (brus);
        if (c.ghostFilled)
            bank.boxes[vl::ghostBox].push_back (ghost);
        p.lanes[(size_t) c.lane].lada = c.lada;
        const auto before = recorder.eventCount();
        EXPECT_EQ (fire (hitOn (c.lane)), c.expected != nullptr) << c.lane << " lada " << c.lada;
        EXPECT_EQ (voice (c.lane, 0).chip, c.expected) << c.lane << " lada " << c.lada;
        EXPECT_EQ (recorder.eventCount() - before, c.expected != nullptr ? 1u : 0u);
        p.lanes[(size_t) c.lane].lada = -1;
    }

    // No bank at all, or a null chip slot: no voice, no event; KICK still plays.
    const auto before = recorder.eventCount();
    EXPECT_FALSE (voices->fire (hitOn (vl::Lane::klick), p, nullptr, -1, &recorder));
    bank = {};
    bank.boxes[0].push_back (nullptr);
    EXPECT_FALSE (fire (hitOn (vl::Lane::klick)));
    EXPECT_EQ (recorder.eventCount(), before);
    EXPECT_TRUE (voices->fire (hitOn (vl::Lane::kick), p, nullptr, -1, &recorder));
    EXPECT_EQ (lastEvent().note, 36);
}

TEST_F (VoicesTest, ChipIndexWrapsAndVelocityIsLoggedInMidiRange)
{
    bank.boxes[0] = { constantChip (100), constantChip (100), constantChip (100) };
    struct Case
    {
        int chip;
        float velocity;
        int logged;
    };
    for (const auto& c : { Case { 0, 1.0f, 127 }, Case { 4, 0.001f, 1 }, Case { 65535, 1.3f, 127 }, Case { 2, 0.5f, 63 } })
    {
        voices->prepare (rate);
        auto hit = hitOn (vl::Lane::klick, c.velocity);
        hit.chip = c.chip;
        fire (hit);
        EXPECT_EQ (voice (vl::Lane::klick, 0).chip, bank.boxes[0][(size_t) c.chip % 3].get());
        EXPECT_EQ (lastEvent().velocity, c.logged);
        EXPECT_EQ (lastEvent().lane, vl::Lane::klick);
    }
}

TEST_F (VoicesTest, PanSpreadsHitsWithEqualPower)
{
    bank.boxes[0].push_back (constantChip (100));
    p.lanes[vl::Lane::klick].pan = 1.0f;
    float lowest = 1.0f, highest = 0.0f;
    for (std::uint32_t sixteenth = 0; sixteenth < 64; ++sixteenth)
    {
        voices->prepare (rate);
        auto hit = hitOn (vl::Lane::klick);
        hit.sixteenth = sixteenth;
        fire (hit);
        const auto& v = voice (vl::Lane::klick, 0);
        EXPECT_NEAR (v.leftGain * v.leftGain + v.rightGain * v.rightGain, 1.0f, 1.0e-6f);
        lowest = std::min (lowest, v.leftGain);
        highest = std::max (highest, v.leftGain);
    }
    EXPECT_LT (lowest, 0.3f);
    EXPECT_GT (highest, 0.95f);
}

TEST_F (VoicesTest, ExtremeSettingsStayFinite)
{
    bank.boxes[0].push_back (makeChip (3000, [] (int i) { return (i % 7) - 3.0f; }, 40.0f, 8000.0f));
    bank.boxes[3].push_back (makeChip (20, [] (int i) { return i % 2 ? 1.0f : -1.0f; }, 120.0f, 192000.0f));
    bank.boxes[4].push_back (makeChip (2, [] (int) { return 1.0f; }));
    struct Case
    {
        float low, high;
    };
    for (const auto& range : { Case { 0.0f, 0.0f }, Case { 1.0f, 1.0f }, Case { -1.0f, 1.0f } })
        for (const int age : { 0, 1, 2, 3 })
        {
            voices->prepare (rate);
            p.kTon = range.high > 0.5f ? 72.0f : 38.0f;
            p.kLangd = p.kKlick = p.kDriv = range.high;
            p.alder = age;
            p.skala = 7;
            for (auto& lane : p.lanes)
            {
                lane.niva = range.high;
                lane.farg = range.low;
                lane.ton = 24.0f * range.low;
                lane.langd = range.high;
                lane.pan = range.high;
            }
            std::array<float, vl::numLanes> shift {}, gate {}, shown {}, meters {};
            shift.fill (0.4f * range.low);
            gate.fill (range.high);
            for (int c = 0; c < 40; ++c)
            {
                for (int lane = 0; lane < vl::numLanes; ++lane)
                {
                    auto hit = hitOn (lane, 1.3f, c % 2 ? 127 : -128);
                    hit.reverse = c % 3 == 0;
                    hit.sixteenthSamples = c % 2 ? 1.0f : 1.0e6f;
                    fire (hit, 127);
                }
                buses.clear();
                voices->render (p, c % 2 ? 1.0f : -1.0f, buses.leftPointers, buses.rightPointers, 0, chunk);
                voices->processLanes (p, shift.data(), range.low, gate.data(), shown.data(), c % 2 ? 1.0f : 1.0e5f,
                                      meters.data(), buses.leftPointers, buses.rightPointers, chunk);
                for (size_t i = 0; i < buses.left.size(); ++i)
                {
                    ASSERT_TRUE (std::isfinite (buses.left[i]) && std::fabs (buses.left[i]) < 50.0f) << c << " " << i;
                    ASSERT_TRUE (std::isfinite (buses.right[i]) && std::fabs (buses.right[i]) < 50.0f) << c << " " << i;
                }
                for (int lane = 0; lane < vl::numLanes; ++lane)
                    ASSERT_TRUE (std::isfinite (meters[(size_t) lane]) && std::isfinite (shown[(size_t) lane]));
            }
        }
}

} // namespace
