// The 100 ms timer's duties: radio source changes by bars, ghost refreshes every 8 s of playback.
#include "TestSupport.h"

#include "plugin/RingLayout.h"
#include "plugin/RingWriter.h"
#include "plugin/VirlProcessor.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

namespace
{

// Clicks and noise bursts: material the chopper always finds chips in.
std::vector<float> beats (int frames, double rate)
{
    std::vector<float> x ((size_t) frames, 0.0f);
    juce::Random random (3);
    const int step = (int) (rate * 0.125);
    for (int start = 0; start < frames; start += step)
        for (int i = 0; i < step && start + i < frames; ++i)
            x[(size_t) (start + i)] = (random.nextFloat() * 2.0f - 1.0f) * 0.7f * std::exp (-(float) i / (float) rate * 50.0f);
    return x;
}

// Waits for the pool without running the message loop, so the processor's own 100 ms timer stays
// quiet and only the ticks a test makes count.
template <typename Condition>
bool waitFor (Condition done, int milliseconds = 5000)
{
    for (int waited = 0; waited < milliseconds; waited += 5)
    {
        if (done())
            return true;
        juce::Thread::sleep (5);
    }
    return done();
}

void setParam (VirlProcessor& p, const char* id, float value)
{
    auto* param = p.parameters().getParameter (id);
    param->setValueNotifyingHost (param->convertTo0to1 (value));
}

struct RadioFixture : testing::Test
{
    RadioFixture()
    {
        dir.createDirectory();
        const auto file = dir.getChildFile ("loop.wav");
        const auto samples = beats (48000, 48000.0);
        juce::AudioBuffer<float> audio (1, (int) samples.size());
        audio.copyFrom (0, 0, samples.data(), (int) samples.size());
        juce::WavAudioFormat wav;
        std::unique_ptr<juce::AudioFormatWriter> writer (wav.createWriterFor (file.createOutputStream().release(), 48000.0, 1, 16, {}, 0));
        writer->writeFromAudioSampleBuffer (audio, 0, audio.getNumSamples());
        writer.reset();

        EXPECT_EQ (processor.addToLibrary (juce::StringArray (file.getFullPathName())), 1);
        EXPECT_TRUE (waitFor ([&] { return processor.radioJobsPending() == 0; })) << "the first chop after adding";
        setParam (processor, "radio", 1.0f);
        setParam (processor, "radiotakt", 2.0f); // 16 bars
        processor.getEngine().playing.store (true);
    }
    ~RadioFixture() override { dir.deleteRecursively(); }

    // One tick at bar b; true when it queued a radio chop.
    bool tickAtBar (juce::int64 b)
    {
        processor.getEngine().bar.store (b);
        processor.backgroundTick (1000);
        const bool queued = processor.radioJobsPending() > 0;
        waitFor ([&] { return processor.radioJobsPending() == 0; });
        return queued;
    }

    juce::File dir = juce::File::createTempFile ("radio");
    VirlProcessor processor;
};

TEST_F (RadioFixture, ChangesSourceEveryRadiotaktBarsFromTheFirstBarSeen)
{
    const std::vector<std::pair<juce::int64, bool>> ticks {
        { 10, false }, { 11, false }, { 25, false }, { 26, true }, { 30, false }, { 41, false }, { 42, true },
        { 5, false },  // the host went back: count again from here
        { 20, false }, { 21, true },
    };
    for (const auto& [bar, changes] : ticks)
        EXPECT_EQ (tickAtBar (bar), changes) << "bar " << bar;
}

TEST_F (RadioFixture, NothingWhileStopped)
{
    processor.getEngine().playing.store (false);
    EXPECT_FALSE (tickAtBar (10));
    EXPECT_FALSE (tickAtBar (200));
}

struct GhostFixture : testing::Test
{
    GhostFixture()
    {
        processor.prepareToPlay (48000.0, 512);
        processor.getEngine().playing.store (true);
    }

    void recordOwnOutput (int frames)
    {
        for (const float x : beats (frames, 48000.0))
            processor.getEngine().recorder.write (x, -x);
    }

    bool ghostBoxChanged (const std::shared_ptr<const vl::Bank>& before)
    {
        return processor.currentBankCopy() != before;
    }

    VirlProcessor processor;
};

TEST_F (GhostFixture, RefreshesEveryEightSecondsOfPlaybackOnly)
{
    recordOwnOutput (48000);
    struct Tick
    {
        juce::uint32 now;
        bool playing, refreshes;
    };
    const std::vector<Tick> ticks { { 9000, true, true }, { 16999, true, false }, { 17001, true, true },
                                    { 40000, false, false }, { 40100, true, true } };
    for (const auto& t : ticks)
    {
        processor.getEngine().playing.store (t.playing);
        const auto before = processor.currentBankCopy();
        processor.backgroundTick (t.now);
        const bool changed = waitFor ([&] { return ghostBoxChanged (before); }, t.refreshes ? 5000 : 300);
        EXPECT_EQ (changed, t.refreshes) << "tick at " << t.now;
    }
}

TEST_F (GhostFixture, TooLittleOwnAudioLeavesTheGhostBoxAlone)
{
    recordOwnOutput (4095);
    auto before = processor.currentBankCopy();
    processor.refreshSpoke();
    EXPECT_EQ (processor.currentBankCopy(), before) << "4095 frames";

    recordOwnOutput (1);
    processor.refreshSpoke();
    EXPECT_NE (processor.currentBankCopy(), before) << "4096 frames";
    EXPECT_GT (processor.currentBankCopy()->boxes[vl::ghostBox].size(), 0u);
}

TEST (GhostRing, BothSourcesTakeTurnsWhileTheRingIsLive)
{
    // A private home folder: the processor maps its own ring file there.
    const auto home = juce::File::createTempFile ("home");
    home.createDirectory();
    const auto* previousHome = std::getenv ("HOME");
    const std::string savedHome = previousHome != nullptr ? previousHome : "";
    ::setenv ("HOME", home.getFullPathName().toRawUTF8(), 1);

    {
        VirlProcessor processor; // no prepareToPlay: its own output is empty, only the ring has audio
        setParam (processor, "spokekalla", 2.0f);
        setParam (processor, "ringlakanal", 2.0f);

        juce::MemoryMappedFile mapped (juce::File (vl::ringFilePath (home.getFullPathName().toStdString()).string()),
                                       juce::MemoryMappedFile::readWrite, false);
        ASSERT_NE (mapped.getData(), nullptr);
        vl::RingWriter writer ({ static_cast<std::byte*> (mapped.getData()), vl::ringFileBytes }, 1);
        ASSERT_TRUE (writer.isValid());
        const auto tone = beats (96000, 48000.0);
        writer.write (tone, tone, vl::ringNowMs());
        EXPECT_TRUE (processor.isRingLive());

        std::vector<bool> changed;
        for (int refresh = 0; refresh < 4; ++refresh)
        {
            const auto before = processor.currentBankCopy();
            processor.refreshSpoke();
            changed.push_back (processor.currentBankCopy() != before);
        }
        // Ring, own, ring, own, starting wherever the process-wide turn stands.
        EXPECT_NE (changed[0], changed[1]);
        EXPECT_EQ (changed[0], changed[2]);
        EXPECT_EQ (changed[1], changed[3]);
    }

    ::setenv ("HOME", savedHome.c_str(), 1);
    home.deleteRecursively();
}

} // namespace

namespace
{
// Two bars of sixteenths at 120 BPM, every second one 0.16 of a sixteenth late, louder on the beats.
juce::File swungLoop (const juce::File& dir)
{
    const double rate = 48000.0, sixteenth = rate * 0.125;
    juce::AudioBuffer<float> audio (1, (int) (sixteenth * 32));
    audio.clear();
    juce::Random random (4);
    for (int step = 0; step < 32; ++step)
    {
        const int start = (int) ((step + (step % 2 == 1 ? 0.16 : 0.0)) * sixteenth);
        const float level = step % 4 == 0 ? 0.9f : 0.45f;
        for (int i = 0; i < 2000 && start + i < audio.getNumSamples(); ++i)
            audio.setSample (0, start + i, level * (random.nextFloat() * 2.0f - 1.0f) * std::exp (-(float) i / 300.0f));
    }
    const auto file = dir.getChildFile ("swing.wav");
    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatWriter> writer (wav.createWriterFor (file.createOutputStream().release(), rate, 1, 16, {}, 0));
    writer->writeFromAudioSampleBuffer (audio, 0, audio.getNumSamples());
    return file;
}

TEST (Egen, ALoopBecomesTheCustomGrooveAndIsSaved)
{
    const auto dir = juce::File::createTempFile ("egen");
    dir.createDirectory();
    VirlProcessor processor;

    std::optional<bool> taken;
    processor.extractGrooveFrom (swungLoop (dir), [&] (bool ok) { taken = ok; });
    for (int waited = 0; waited < 10000 && ! taken; waited += 10)
        virltest::pumpMessages (10);
    ASSERT_TRUE (taken.has_value());
    EXPECT_TRUE (*taken);
    EXPECT_TRUE (processor.hasCustomGroove());
    EXPECT_NEAR (processor.getEngine().liveCustomGroove()[1], 0.16f, 0.04f) << "the swing of step 1";

    juce::MemoryBlock state;
    processor.getStateInformation (state);
    const auto xml = juce::AudioProcessor::getXmlFromBinary (state.getData(), (int) state.getSize());
    EXPECT_TRUE (xml->getStringAttribute ("egen").startsWith ("192."));

    // Noise has no pulse: the groove stays.
    const auto noise = dir.getChildFile ("noise.wav");
    {
        juce::AudioBuffer<float> audio (1, 96000);
        juce::Random random (1);
        for (int i = 0; i < audio.getNumSamples(); ++i)
            audio.setSample (0, i, random.nextFloat() * 0.5f - 0.25f);
        juce::WavAudioFormat wav;
        std::unique_ptr<juce::AudioFormatWriter> writer (wav.createWriterFor (noise.createOutputStream().release(), 48000.0, 1, 16, {}, 0));
        writer->writeFromAudioSampleBuffer (audio, 0, audio.getNumSamples());
    }
    const auto before = processor.getEngine().liveCustomGroove();
    taken.reset();
    processor.extractGrooveFrom (noise, [&] (bool ok) { taken = ok; });
    for (int waited = 0; waited < 10000 && ! taken; waited += 10)
        virltest::pumpMessages (10);
    ASSERT_TRUE (taken.has_value());
    EXPECT_FALSE (*taken);
    EXPECT_EQ (processor.getEngine().liveCustomGroove(), before);
    dir.deleteRecursively();
}
} // namespace
