#include "family/GuldExport.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <gtest/gtest.h>

namespace
{

struct ExportFixture : testing::Test
{
    ExportFixture()
    {
        recorder.prepare (1, 48000.0);
        recorder.bpm.store (120.0);
        request.folder = folder.getFile();
        request.when = juce::Time (2026, 11, 10, 0, 6, 37);
    }

    ~ExportFixture() override { request.folder.deleteRecursively(); }

    void writeFrames (int n, float value = 0.5f)
    {
        for (int i = 0; i < n; ++i)
            recorder.write (value, -value);
    }

    std::unique_ptr<juce::AudioFormatReader> readWav (const juce::File& file)
    {
        juce::WavAudioFormat wav;
        return std::unique_ptr<juce::AudioFormatReader> (wav.createReaderFor (file.createInputStream().release(), true));
    }

    juce::MidiFile readMidi (const juce::File& file)
    {
        juce::MidiFile midi;
        juce::FileInputStream in (file);
        EXPECT_TRUE (midi.readFrom (in));
        return midi;
    }

    static juce::String name (int lane)
    {
        static const char* names[] = { "KICK", "BAS", "KLICK", "TICK", "RÖST", "TON", "LUFT", "SPÖKE" };
        return juce::String::fromUTF8 (names[lane]);
    }

    gv::GuldRecorder recorder;
    juce::TemporaryFile folder { "guld" };
    gv::ExportRequest request;
};

TEST_F (ExportFixture, WavHoldsTheSelectionIn24Bits)
{
    writeFrames (1000);
    request.start = 10;
    request.end = 11;
    const auto file = gv::exportWav (recorder, request);
    ASSERT_TRUE (file.existsAsFile());
    EXPECT_EQ (file.getFileName(), "VIRL GULD 2026-12-10 00.06.37.wav");
    const auto reader = readWav (file);
    ASSERT_NE (reader, nullptr);
    EXPECT_EQ (reader->lengthInSamples, 1);
    EXPECT_EQ (reader->bitsPerSample, 24u);
    EXPECT_EQ (reader->numChannels, 2u);
    EXPECT_EQ (reader->sampleRate, 48000.0);
    juce::AudioBuffer<float> audio (2, 1);
    reader->read (&audio, 0, 1, 0, true, true);
    EXPECT_NEAR (audio.getSample (0, 0), 0.5f, 1.0e-4f);
    EXPECT_NEAR (audio.getSample (1, 0), -0.5f, 1.0e-4f);
}

TEST_F (ExportFixture, WavKeepsOnlyWhatTheRingStillHolds)
{
    const auto capacity = (int) recorder.capacity();
    writeFrames (capacity + 5000);
    request.start = 0;
    request.end = recorder.writePos();
    const auto file = gv::exportWav (recorder, request);
    ASSERT_TRUE (file.existsAsFile());
    EXPECT_EQ (readWav (file)->lengthInSamples, capacity);

    request.start = request.end = 100;
    EXPECT_EQ (gv::exportWav (recorder, request), juce::File());
}

TEST_F (ExportFixture, TheSameSecondOverwrites)
{
    writeFrames (100);
    request.end = 50;
    const auto first = gv::exportWav (recorder, request);
    request.end = 80;
    const auto second = gv::exportWav (recorder, request);
    EXPECT_EQ (first, second);
    EXPECT_EQ (readWav (second)->lengthInSamples, 80);
}

TEST_F (ExportFixture, MidiPlacesAndLengthensNotesOnA960TickGrid)
{
    writeFrames (24000);
    recorder.addEvent (0, 36, 100, 1); // a sixteenth on KICK, one quarter in at 120 BPM
    writeFrames (10);
    recorder.addEvent (1, 45, 200, 4);  // BAS, four sixteenths, velocity capped at 127
    writeFrames (10);
    request.start = 0;
    request.end = recorder.writePos();

    const auto file = gv::exportMidi (recorder, request, name);
    ASSERT_TRUE (file.existsAsFile());
    EXPECT_TRUE (file.hasFileExtension ("mid"));
    const auto midi = readMidi (file);
    EXPECT_EQ (midi.getTimeFormat(), 960);
    ASSERT_EQ (midi.getNumTracks(), 9);

    const auto* tempo = midi.getTrack (0);
    ASSERT_GE (tempo->getNumEvents(), 2);
    EXPECT_TRUE (tempo->getEventPointer (0)->message.isTempoMetaEvent());
    EXPECT_NEAR (tempo->getEventPointer (0)->message.getTempoSecondsPerQuarterNote(), 0.5, 1.0e-9);
    const auto& sig = tempo->getEventPointer (1)->message;
    ASSERT_TRUE (sig.isTimeSignatureMetaEvent());
    EXPECT_EQ (juce::MemoryBlock (sig.getRawData(), (size_t) sig.getRawDataSize()),
               juce::MemoryBlock ("\xff\x58\x04\x04\x02\x01\x60", 7));

    const auto* kick = midi.getTrack (1);
    EXPECT_EQ (kick->getEventPointer (0)->message.getTextFromTextMetaEvent(), "KICK");
    const auto& on = kick->getEventPointer (1)->message;
    EXPECT_TRUE (on.isNoteOn());
    EXPECT_EQ (on.getChannel(), 1);
    EXPECT_DOUBLE_EQ (on.getTimeStamp(), 960.0);
    EXPECT_DOUBLE_EQ (kick->getEventPointer (2)->message.getTimeStamp() - on.getTimeStamp(), 216.0);

    const auto* bas = midi.getTrack (2);
    const auto& basOn = bas->getEventPointer (1)->message;
    EXPECT_EQ (basOn.getChannel(), 2);
    EXPECT_EQ (basOn.getVelocity(), 127);
    EXPECT_DOUBLE_EQ (bas->getEventPointer (2)->message.getTimeStamp() - basOn.getTimeStamp(), 864.0);
    EXPECT_EQ (midi.getTrack (5)->getEventPointer (0)->message.getTextFromTextMetaEvent(), juce::String::fromUTF8 ("RÖST"));
}

TEST_F (ExportFixture, NoHitsNoMidiFile)
{
    writeFrames (100);
    recorder.addEvent (3, 60, 90, 1);
    writeFrames (100);
    request.start = 150; // after the hit
    request.end = 200;
    EXPECT_EQ (gv::exportMidi (recorder, request, name), juce::File());
    EXPECT_EQ (request.folder.getNumberOfChildFiles (juce::File::findFiles), 0);
}

TEST (GuldExport, FolderFollowsTheUsersMusicDirectory)
{
    const auto folder = gv::guldFolder ("VIRL");
    EXPECT_EQ (folder.getFileName(), "VIRL GULD");
    EXPECT_EQ (folder.getParentDirectory().getFileName(), "Trevlor");
    EXPECT_EQ (gv::savedMessage (juce::File ("/x/VIRL GULD a.wav")), "Sparad: VIRL GULD a.wav");
}

} // namespace
