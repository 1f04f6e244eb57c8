#include "TestSupport.h"

#include "material/Factory.h"
#include "material/MergeImport.h"
#include "plugin/VirlProcessor.h"

#include <juce_audio_formats/juce_audio_formats.h>

#include <gtest/gtest.h>

#include <cmath>

namespace
{

// A short drum-ish loop: clicks, noise bursts and a tone, so the chopper finds several kinds of chip.
juce::AudioBuffer<float> drumLoop (int channels, double rate, double seconds)
{
    const int frames = (int) (rate * seconds);
    juce::AudioBuffer<float> audio (channels, frames);
    audio.clear();
    juce::Random random (17);
    const int beat = (int) (rate * 0.25);
    for (int start = 0, k = 0; start + beat <= frames; start += beat, ++k)
        for (int i = 0; i < beat; ++i)
        {
            const double t = i / rate;
            float v = 0.0f;
            if (k % 4 == 0)
                v = (float) (std::sin (2.0 * juce::MathConstants<double>::pi * 220.0 * t) * std::exp (-t * 6.0));
            else if (k % 2 == 0)
                v = (random.nextFloat() * 2.0f - 1.0f) * (float) std::exp (-t * 40.0);
            else
                v = i < 40 ? 0.9f * (i % 2 == 0 ? 1.0f : -1.0f) * (1.0f - i / 40.0f) : 0.0f;
            for (int c = 0; c < channels; ++c)
                audio.setSample (c, start + i, v * 0.8f);
        }
    return audio;
}

bool writeAudio (juce::AudioFormat& format, const juce::File& file, const juce::AudioBuffer<float>& audio, double rate, int bits)
{
    file.deleteFile();
    auto stream = file.createOutputStream();
    if (stream == nullptr)
        return false;
    std::unique_ptr<juce::AudioFormatWriter> writer (
        format.createWriterFor (stream.get(), rate, (unsigned) audio.getNumChannels(), bits, {}, format.getQualityOptions().size() > 0 ? 5 : 0));
    if (writer == nullptr)
        return false;
    stream.release();
    return writer->writeFromAudioSampleBuffer (audio, 0, audio.getNumSamples());
}

struct ImportFixture : testing::Test
{
    ~ImportFixture() override { dir.deleteRecursively(); }

    juce::File fixture (const juce::String& name, juce::AudioFormat& format, int channels = 2, double rate = 44100.0,
                        double seconds = 2.0, int bits = 16)
    {
        const auto file = dir.getChildFile (name);
        EXPECT_TRUE (writeAudio (format, file, drumLoop (channels, rate, seconds), rate, bits)) << name;
        return file;
    }

    juce::File dir = juce::File::createTempFile ("import");
    VirlProcessor processor;
    juce::WavAudioFormat wav;
    juce::AiffAudioFormat aiff;
    juce::FlacAudioFormat flac;
    juce::OggVorbisAudioFormat ogg;

    ImportFixture() { dir.createDirectory(); }
};

TEST_F (ImportFixture, EveryReadableFormatBringsChips)
{
    struct Case
    {
        const char* name;
        juce::AudioFormat* format;
        int channels;
        int bits;
    };
    for (const auto& c : { Case { "loop.wav", &wav, 2, 24 }, Case { "loop.aiff", &aiff, 2, 16 }, Case { "loop.flac", &flac, 2, 16 },
                           Case { "loop.ogg", &ogg, 2, 16 }, Case { "mono.wav", &wav, 1, 16 } })
    {
        const auto before = processor.currentBankCopy();
        const auto file = fixture (c.name, *c.format, c.channels, 44100.0, 2.0, c.bits);
        processor.chopIntoBank (file, vl::importMaxChips, vl::importMaxSeconds);
        EXPECT_NE (processor.currentBankCopy(), before) << c.name;
        EXPECT_EQ (processor.getSourceName(), file.getFileNameWithoutExtension()) << c.name;
    }
}

TEST_F (ImportFixture, OnlyTheFirstSecondsAreRead)
{
    // Sound only after 1.5 s: a one-second limit reads nothing but silence.
    auto audio = drumLoop (2, 48000.0, 3.0);
    audio.clear (0, 72000);
    const auto file = dir.getChildFile ("late.wav");
    ASSERT_TRUE (writeAudio (wav, file, audio, 48000.0, 16));
    const auto before = processor.currentBankCopy();
    processor.chopIntoBank (file, vl::importMaxChips, 1.0f);
    EXPECT_EQ (processor.currentBankCopy(), before);
    processor.chopIntoBank (file, vl::importMaxChips, 3.0f);
    EXPECT_NE (processor.currentBankCopy(), before);
}

TEST_F (ImportFixture, UnreadableFilesChangeNothing)
{
    const auto good = fixture ("good.wav", wav);
    juce::MemoryBlock bytes;
    good.loadFileAsData (bytes);

    std::vector<juce::File> bad;
    const auto add = [&] (const char* name, const void* data, size_t size) {
        auto f = dir.getChildFile (name);
        f.replaceWithData (data, size);
        bad.push_back (f);
    };
    add ("song.mp3", bytes.getData(), bytes.getSize());
    add ("empty.wav", "", 0);
    add ("truncated.wav", bytes.getData(), 60);
    add ("tiny.wav", bytes.getData(), 44 + 200);
    juce::Random random (99);
    for (int i = 0; i < 300; ++i)
    {
        juce::MemoryBlock mutated (bytes);
        auto* data = static_cast<char*> (mutated.getData());
        for (int k = 0; k < 1 + i % 16; ++k)
            data[random.nextInt ((int) std::min<size_t> (mutated.getSize(), 256 + (size_t) i * 64))] = (char) random.nextInt (256);
        if (i % 3 == 0)
            mutated.setSize ((size_t) random.nextInt ((int) mutated.getSize()));
        add (("mutated" + juce::String (i) + (i % 2 == 0 ? ".wav" : ".aif")).toRawUTF8(), mutated.getData(), mutated.getSize());
    }
    add ("nothing.flac", "fLaC", 4);
    add ("nothing.ogg", "OggS", 4);

    const auto factory = processor.currentBankCopy();
    for (const auto& f : { bad[0], bad[1], bad[2], bad[3], bad.back(), bad[bad.size() - 2] })
    {
        processor.chopIntoBank (f, vl::importMaxChips, vl::importMaxSeconds);
        EXPECT_EQ (processor.currentBankCopy(), factory) << f.getFileName();
    }
    for (const auto& f : bad)
        processor.chopIntoBank (f, vl::importMaxChips, vl::importMaxSeconds); // must not crash
    EXPECT_NE (processor.currentBankCopy(), nullptr);
}

TEST_F (ImportFixture, LibraryTakesFilesAndFoldersOnce)
{
    const auto sub = dir.getChildFile ("pack/kicks");
    sub.createDirectory();
    const auto a = fixture ("a.wav", wav);
    const auto b = sub.getChildFile ("b.flac");
    ASSERT_TRUE (writeAudio (flac, b, drumLoop (2, 44100.0, 1.0), 44100.0, 16));
    sub.getChildFile ("notes.txt").replaceWithText ("not audio");
    sub.getChildFile ("c.mp3").replaceWithText ("not readable here");

    juce::StringArray chosen;
    chosen.add (a.getFullPathName());
    chosen.add (dir.getChildFile ("pack").getFullPathName());
    chosen.add ("relative.wav");
    EXPECT_EQ (processor.addToLibrary (chosen), 2);
    const auto library = processor.getLibrary();
    ASSERT_EQ (library.size(), 2);
    EXPECT_EQ (library[0], a.getFullPathName());
    EXPECT_EQ (library[1], b.getFullPathName());
    EXPECT_EQ (processor.addToLibrary (juce::StringArray (a.getFullPathName())), 0) << "duplicates are merged";

    // The first new file is chopped at once on the pool.
    for (int waited = 0; waited < 5000 && processor.getSourceName().isEmpty(); waited += 10)
        virltest::pumpMessages (10);
    EXPECT_EQ (processor.getSourceName(), "a");

    processor.clearLibrary();
    EXPECT_TRUE (processor.getLibrary().isEmpty());
}

std::shared_ptr<const vl::Virl> chip (int box, float brightness)
{
    auto v = std::make_shared<vl::Virl>();
    v->box = box;
    v->brightness = brightness;
    v->left.assign (100, 0.1f);
    v->right.assign (100, 0.1f);
    return v;
}

TEST (MergeImport, BoxesFollowTheBudgetAndTheFactoryRule)
{
    const auto factory = vl::factory::build (vl::factory::defaultSeed);
    gv::Rng rng (5);

    // Three KLICK chips replace factory chips (budget 12); the box stays factory material.
    auto bank = vl::deriveBank (factory.get());
    vl::mergeImported (*bank, { chip (0, 0.1f), chip (0, 0.2f), chip (0, 0.3f) }, rng);
    EXPECT_EQ (bank->boxes[0].size(), 48u);
    EXPECT_TRUE (bank->factory[0]);

    // Ten TICK chips push the factory out: exactly those ten, sorted by brightness.
    std::vector<std::shared_ptr<const vl::Virl>> ticks;
    for (int i = 0; i < 10; ++i)
        ticks.push_back (chip (1, 0.9f - 0.05f * (float) i));
    bank = vl::deriveBank (factory.get());
    vl::mergeImported (*bank, ticks, rng);
    ASSERT_EQ (bank->boxes[1].size(), 10u);
    EXPECT_FALSE (bank->factory[1]);
    for (size_t i = 1; i < 10; ++i)
        EXPECT_LE (bank->boxes[1][i - 1]->brightness, bank->boxes[1][i]->brightness);

    // A box of 400 only swaps.
    vl::Bank full;
    for (int i = 0; i < 400; ++i)
        full.boxes[2].push_back (chip (2, 0.5f));
    std::vector<std::shared_ptr<const vl::Virl>> many;
    for (int i = 0; i < 120; ++i)
        many.push_back (chip (2, 0.4f));
    vl::mergeImported (full, many, rng);
    EXPECT_EQ (full.boxes[2].size(), 400u);
    EXPECT_TRUE (full.boxes[5].empty()) << "the ghost box is never touched";
}

TEST (MergeImport, SourceNames)
{
    const std::vector<std::pair<std::string, std::string>> cases {
        { "/music/Dub Chord.wav", "Dub Chord" }, { "/a/b/.hidden", ".hidden" }, { "/a/b/loop.take2.flac", "loop.take2" },
        { "/a/noext", "noext" }, { "plain.ogg", "plain" },
    };
    for (const auto& [path, name] : cases)
        EXPECT_EQ (vl::sourceNameOf (path), name) << path;
}

} // namespace
