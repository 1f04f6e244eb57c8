#include "TestSupport.h"

#include "plugin/Chunking.h"
#include "plugin/HostTransport.h"
#include "plugin/VirlProcessor.h"

#include <gtest/gtest.h>

#include <vector>

namespace
{
using Position = juce::AudioPlayHead::PositionInfo;

TEST (Chunking, BlockOf600FramesIsCutAt256)
{
    struct Chunk
    {
        int start, frames;
        double ppq;
    };
    std::vector<Chunk> chunks;
    vl::forEachChunk (600, 256, 10.0, 120.0, 48000.0,
                      [&] (int start, int frames, double ppq) { chunks.push_back ({ start, frames, ppq }); });
    ASSERT_EQ (chunks.size(), 3u);
    EXPECT_EQ (chunks[0].frames, 256);
    EXPECT_EQ (chunks[1].frames, 256);
    EXPECT_EQ (chunks[2].frames, 88);
    EXPECT_EQ (chunks[2].start, 512);
    EXPECT_DOUBLE_EQ (chunks[0].ppq, 10.0);
    EXPECT_NEAR (chunks[1].ppq, 10.0 + 256.0 / 24000.0, 1.0e-12); // 0.010667
    EXPECT_NEAR (chunks[2].ppq, 10.0 + 512.0 / 24000.0, 1.0e-12); // 0.021333
}

Position at (juce::Optional<double> bpm, juce::Optional<double> ppq, bool playing)
{
    Position p;
    p.setBpm (bpm);
    p.setPpqPosition (ppq);
    p.setIsPlaying (playing);
    return p;
}

struct TransportCase
{
    const char* what;
    juce::Optional<Position> position;
    double expectBpm;
    double expectPpq;
    bool expectPlaying;
};

class Transport : public testing::TestWithParam<TransportCase>
{
};

TEST_P (Transport, FollowsTheHostOrFreeRuns)
{
    const auto& c = GetParam();
    vl::HostTransport host;
    const auto t = vl::resolveTransport (c.position, host, 3.5, 48000.0);
    EXPECT_DOUBLE_EQ (t.bpm, c.expectBpm) << c.what;
    EXPECT_DOUBLE_EQ (t.ppq, c.expectPpq) << c.what;
    EXPECT_EQ (t.playing, c.expectPlaying) << c.what;
}

Position withSamples (double bpm, juce::int64 samples)
{
    auto p = at (bpm, {}, true);
    p.setTimeInSamples (samples);
    return p;
}

Position withBar (double bpm, juce::int64 barCount, int num, int den)
{
    auto p = at (bpm, {}, true);
    p.setBarCount (barCount);
    p.setTimeSignature (juce::AudioPlayHead::TimeSignature { num, den });
    return p;
}

INSTANTIATE_TEST_SUITE_P (
    Processor, Transport,
    testing::Values (TransportCase { "no play head", {}, 124.0, 3.5, true },
                     TransportCase { "neither tempo nor position", Position {}, 124.0, 3.5, true },
                     TransportCase { "tempo and position", at (128.0, 16.0, true), 128.0, 16.0, true },
                     TransportCase { "stopped host", at (128.0, 16.0, false), 128.0, 16.0, false },
                     TransportCase { "too slow", at (20.0, 0.0, true), 40.0, 0.0, true },
                     TransportCase { "too fast", at (400.0, 0.0, true), 300.0, 0.0, true },
                     TransportCase { "position without tempo", at ({}, 8.0, false), 124.0, 8.0, false },
                     TransportCase { "tempo without position", at (90.0, {}, true), 90.0, 3.5, true },
                     TransportCase { "non-finite tempo", at (std::numeric_limits<double>::quiet_NaN(), 4.0, true), 124.0, 4.0, true },
                     TransportCase { "absurd position", at (120.0, 1.0e300, true), 120.0, 3.5, true },
                     TransportCase { "frame but no beat", withSamples (120.0, 96000), 120.0, 4.0, true },
                     TransportCase { "bar but no beat", withBar (120.0, 3, 4, 4), 120.0, 12.0, true },
                     TransportCase { "bar in 6/8", withBar (120.0, 2, 6, 8), 120.0, 6.0, true }));

TEST (Transport, BlocksWithoutPositionCarryTheHostsLastTransportOn)
{
    vl::HostTransport host;
    auto t = vl::resolveTransport (at (100.0, 0.0, true), host, 0.0, 48000.0);
    EXPECT_DOUBLE_EQ (t.bpm, 100.0);

    t = vl::resolveTransport ({}, host, 7.25, 48000.0);
    EXPECT_DOUBLE_EQ (t.bpm, 100.0);
    EXPECT_DOUBLE_EQ (t.ppq, 7.25);
    EXPECT_TRUE (t.playing);

    vl::resolveTransport (at (100.0, 9.0, false), host, 7.25, 48000.0);
    t = vl::resolveTransport ({}, host, 9.0, 48000.0);
    EXPECT_FALSE (t.playing) << "a stopped host stays stopped between its messages";
}

struct ProcessorFixture : testing::Test
{
    ProcessorFixture()
    {
        processor.setPlayHead (&head);
        processor.setRateAndBufferSizeDetails (48000.0, 512);
        processor.prepareToPlay (48000.0, 512);
    }

    void run (int frames, int channels = 2)
    {
        juce::AudioBuffer<float> buffer (channels, frames);
        processor.processBlock (buffer, midi);
        midi.clear();
    }

    VirlProcessor processor;
    virltest::ScriptedPlayHead head;
    juce::MidiBuffer midi;
};

TEST_F (ProcessorFixture, LastPositionAdvancesByTheBlock)
{
    head.position = at (120.0, 10.0, true);
    run (600);
    EXPECT_NEAR (processor.getLastPpq(), 10.025, 1.0e-12);

    // jalv and Ardour send nothing between transport changes: keep going at the host's tempo.
    head.position = {};
    run (4800);
    EXPECT_NEAR (processor.getLastPpq(), 10.225, 1.0e-12);
    EXPECT_DOUBLE_EQ (processor.getEngine().bpm.load(), 120.0);
}

TEST_F (ProcessorFixture, FreeRunsAt124WithoutAPlayHead)
{
    processor.setPlayHead (nullptr);
    run (48000);
    EXPECT_NEAR (processor.getLastPpq(), 124.0 / 60.0, 1.0e-9);
    EXPECT_TRUE (processor.getEngine().playing.load());
}

TEST_F (ProcessorFixture, ZeroFramesChangeNothing)
{
    head.position = at (120.0, 10.0, true);
    midi.addEvent (juce::MidiMessage::noteOn (1, 60, (juce::uint8) 100), 0);
    run (0);
    EXPECT_EQ (processor.getLastPpq(), 0.0);
    EXPECT_EQ (processor.getEngine().midiNote.load(), -1);
}

TEST_F (ProcessorFixture, HeldNotesSetTheLowestNote)
{
    midi.addEvent (juce::MidiMessage::noteOn (1, 64, (juce::uint8) 100), 0);
    midi.addEvent (juce::MidiMessage::noteOn (2, 60, (juce::uint8) 100), 1);
    midi.addEvent (juce::MidiMessage::noteOff (1, 60), 2);
    run (64);
    EXPECT_EQ (processor.getEngine().midiNote.load(), 64);

    midi.addEvent (juce::MidiMessage::noteOn (1, 50, (juce::uint8) 100), 0);
    run (64);
    EXPECT_EQ (processor.getEngine().midiNote.load(), 50);

    midi.addEvent (juce::MidiMessage::noteOn (1, 50, (juce::uint8) 0), 0); // velocity 0 releases
    run (64);
    EXPECT_EQ (processor.getEngine().midiNote.load(), 64);

    midi.addEvent (juce::MidiMessage::noteOn (1, 70, (juce::uint8) 100), 0);
    midi.addEvent (juce::MidiMessage::controllerEvent (1, 123, 0), 5);
    run (64);
    EXPECT_EQ (processor.getEngine().midiNote.load(), -1);

    midi.addEvent (juce::MidiMessage::noteOn (1, 70, (juce::uint8) 100), 0);
    midi.addEvent (juce::MidiMessage::allSoundOff (1), 5);
    run (64);
    EXPECT_EQ (processor.getEngine().midiNote.load(), -1);
}

TEST_F (ProcessorFixture, OutputsNoMidi)
{
    midi.addEvent (juce::MidiMessage::noteOn (1, 64, (juce::uint8) 100), 0);
    juce::AudioBuffer<float> buffer (2, 64);
    processor.processBlock (buffer, midi);
    EXPECT_TRUE (midi.isEmpty());
}

TEST_F (ProcessorFixture, HostSetParameterReachesTheNextBlocksSnapshot)
{
    auto* level = processor.parameters().getParameter ("l3_niva");
    level->setValueNotifyingHost (level->convertTo0to1 (0.11f));
    run (32);
    EXPECT_FLOAT_EQ (processor.lastEngineParams().lanes[3].niva, 0.11f);
}

TEST (Processor, HostFacingProperties)
{
    VirlProcessor processor;
    EXPECT_EQ (processor.getName(), "VIRL");
    EXPECT_EQ (processor.getNumPrograms(), 1);
    EXPECT_EQ (processor.getCurrentProgram(), 0);
    EXPECT_EQ (processor.getProgramName (0), "");
    processor.setCurrentProgram (5);
    EXPECT_EQ (processor.getCurrentProgram(), 0);
    EXPECT_EQ (processor.getLatencySamples(), 64);
    EXPECT_TRUE (std::isinf (processor.getTailLengthSeconds()));
    EXPECT_TRUE (processor.acceptsMidi());
    EXPECT_FALSE (processor.producesMidi());
    EXPECT_TRUE (processor.hasEditor());
    EXPECT_EQ (processor.getTotalNumInputChannels(), 0);
    EXPECT_EQ (processor.getTotalNumOutputChannels(), 2);

    juce::AudioProcessor::BusesLayout layout;
    for (const auto& [set, ok] : { std::pair { juce::AudioChannelSet::stereo(), true },
                                   std::pair { juce::AudioChannelSet::mono(), true },
                                   std::pair { juce::AudioChannelSet::quadraphonic(), false } })
    {
        layout.outputBuses = { set };
        EXPECT_EQ (processor.checkBusesLayoutSupported (layout), ok);
    }
}

} // namespace

namespace
{
// Two instances start alike (no message loop runs, so no variant arrives), so the mono one must
// carry exactly the average of what the stereo one plays.
TEST (Processor, MonoOutputCarriesTheAverage)
{
    VirlProcessor stereo, mono;
    for (auto* p : { &stereo, &mono })
        p->prepareToPlay (48000.0, 4096);
    juce::MidiBuffer midi;
    float loudest = 0.0f;
    for (const int n : { 512, 4096, 3000, 2049, 77 })
    {
        juce::AudioBuffer<float> two (2, n), one (1, n);
        stereo.processBlock (two, midi);
        mono.processBlock (one, midi);
        for (int i = 0; i < n; ++i)
        {
            ASSERT_FLOAT_EQ (one.getSample (0, i), (two.getSample (0, i) + two.getSample (1, i)) * 0.5f) << n << " frames, frame " << i;
            loudest = std::max (loudest, std::abs (one.getSample (0, i)));
        }
    }
    EXPECT_GT (loudest, 0.01f) << "the comparison must be about sound, not silence";
}
} // namespace

namespace
{
TEST (Processor, ABlockBeforePrepareIsHarmless)
{
    VirlProcessor processor;
    juce::AudioBuffer<float> buffer (2, 1024);
    juce::MidiBuffer midi;
    processor.processBlock (buffer, midi);
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < 1024; ++i)
            ASSERT_TRUE (std::isfinite (buffer.getSample (c, i)));
}
} // namespace
