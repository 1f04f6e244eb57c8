#include "TestSupport.h"

#include "plugin/StateBlob.h"
#include "plugin/VirlProcessor.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{

std::unique_ptr<juce::XmlElement> unwrap (const juce::MemoryBlock& block)
{
    return juce::AudioProcessor::getXmlFromBinary (block.getData(), (int) block.getSize());
}

juce::MemoryBlock save (VirlProcessor& processor)
{
    juce::MemoryBlock block;
    processor.getStateInformation (block);
    return block;
}

float valueOf (VirlProcessor& processor, const char* id)
{
    return processor.parameters().getRawParameterValue (id)->load();
}

TEST (State, FreshInstanceSavesPresetZeroAndTheFixedWrapping)
{
    VirlProcessor processor;
    const auto block = save (processor);
    ASSERT_GT (block.getSize(), 9u);

    juce::uint32 magic = 0, size = 0;
    std::memcpy (&magic, block.getData(), 4);
    std::memcpy (&size, static_cast<const char*> (block.getData()) + 4, 4);
    EXPECT_EQ (magic, 0x21324356u);
    EXPECT_EQ (size, block.getSize() - 9);
    EXPECT_EQ (static_cast<const char*> (block.getData())[block.getSize() - 1], 0);

    const auto xml = unwrap (block);
    ASSERT_NE (xml, nullptr);
    EXPECT_EQ (xml->getTagName(), "VIRL");
    EXPECT_EQ (xml->getAttributeName (0), "preset");
    EXPECT_EQ (xml->getAttributeName (1), "bibliotek");
    EXPECT_EQ (xml->getAttributeName (2), "rulle");
    EXPECT_EQ (xml->getStringAttribute ("preset"), "0");
    EXPECT_EQ (xml->getStringAttribute ("bibliotek"), "");
    EXPECT_TRUE (xml->getStringAttribute ("rulle").startsWith ("2248."));
    EXPECT_FALSE (xml->hasAttribute ("egen"));
    EXPECT_EQ (xml->getNumChildElements(), 126);

    // The live tree never carries the saved-only attributes.
    EXPECT_FALSE (processor.parameters().state.hasProperty ("rulle"));
}

TEST (State, RoundTripBringsEverythingBack)
{
    VirlProcessor original;
    original.prepareToPlay (48000.0, 256);
    auto& tree = original.parameters();
    tree.getParameter ("l2_steg")->setValueNotifyingHost (tree.getParameter ("l2_steg")->convertTo0to1 (11.0f));
    tree.getParameter ("ut")->setValueNotifyingHost (tree.getParameter ("ut")->convertTo0to1 (-6.0f));

    VirlProcessor restored;
    const auto first = save (original);
    restored.setStateInformation (first.getData(), (int) first.getSize());
    restored.prepareToPlay (48000.0, 256);
    juce::AudioBuffer<float> buffer (2, 64);
    juce::MidiBuffer midi;
    restored.processBlock (buffer, midi); // the engine takes the restored roll at its next chunk

    EXPECT_FLOAT_EQ (valueOf (restored, "l2_steg"), 11.0f);
    EXPECT_FLOAT_EQ (valueOf (restored, "ut"), -6.0f);
    const auto second = save (restored);
    EXPECT_EQ (unwrap (first)->toString(), unwrap (second)->toString());
}

TEST (State, LibraryAndGrooveSurviveARoundTrip)
{
    const auto groove = vl::encodeEgen ([] {
        std::array<float, 48> g {};
        for (size_t i = 0; i < g.size(); ++i)
            g[i] = (float) i * 0.01f;
        return g;
    }());
    EXPECT_TRUE (groove.startsWith ("192."));

    VirlProcessor source;
    auto state = source.parameters().copyState();
    state.setProperty ("preset", 12, nullptr);
    state.setProperty ("bibliotek", "/music/a.wav\n/music/b.flac", nullptr);
    state.setProperty ("egen", groove, nullptr);
    juce::MemoryBlock block;
    juce::AudioProcessor::copyXmlToBinary (*state.createXml(), block);

    VirlProcessor restored;
    restored.setStateInformation (block.getData(), (int) block.getSize());
    EXPECT_EQ (restored.getCurrentPreset(), 12);
    const auto xml = unwrap (save (restored));
    EXPECT_EQ (xml->getStringAttribute ("bibliotek"), "/music/a.wav\n/music/b.flac");
    EXPECT_EQ (xml->getStringAttribute ("egen"), groove);
    EXPECT_FLOAT_EQ (restored.getEngine().liveCustomGroove()[47], 0.47f);
}

struct BadState
{
    const char* what;
    std::function<juce::MemoryBlock()> make;
};

juce::MemoryBlock wrapped (const juce::String& xmlText)
{
    juce::MemoryBlock block;
    juce::AudioProcessor::copyXmlToBinary (*juce::parseXML (xmlText), block);
    return block;
}

TEST (State, DamagedStatesLeaveTheInstanceUsable)
{
    const std::vector<BadState> cases {
        { "empty", [] { return juce::MemoryBlock(); } },
        { "random bytes", [] { juce::MemoryBlock b (777); juce::Random r (5); r.fillBitsRandomly (b.getData(), b.getSize()); return b; } },
        { "foreign root", [] { return wrapped ("<OTHER preset=\"3\"/>"); } },
        { "short roll", [] { return wrapped ("<VIRL rulle=\"12.ABCDEFGHIJKLMNOP\"/>"); } },
        { "garbage roll", [] { return wrapped ("<VIRL rulle=\"2248.!!!!\"/>"); } },
        { "bad values", [] { return wrapped ("<VIRL><PARAM id=\"ut\" value=\"nan\"/><PARAM id=\"l0_niva\" value=\"zebra\"/><PARAM id=\"nope\" value=\"1\"/></VIRL>"); } },
        { "absurd preset", [] { return wrapped ("<VIRL preset=\"99999\"/>"); } },
        { "truncated wrapping", [] { auto b = wrapped ("<VIRL preset=\"3\"/>"); b.setSize (b.getSize() / 2); return b; } },
    };

    for (const auto& c : cases)
    {
        VirlProcessor processor;
        processor.prepareToPlay (48000.0, 256);
        const auto block = c.make();
        processor.setStateInformation (block.getData(), (int) block.getSize());
        EXPECT_FLOAT_EQ (valueOf (processor, "ut"), 0.0f) << c.what;
        EXPECT_TRUE (std::isfinite (valueOf (processor, "l0_niva"))) << c.what;
        EXPECT_GE (processor.getCurrentPreset(), -1) << c.what;
        EXPECT_LT (processor.getCurrentPreset(), 64) << c.what;

        juce::AudioBuffer<float> buffer (2, 512);
        juce::MidiBuffer midi;
        processor.processBlock (buffer, midi);
        EXPECT_NE (unwrap (save (processor)), nullptr) << c.what;
    }
}

TEST (State, RollBytesAreNormalisedOnTheWayIn)
{
    std::array<unsigned char, vl::rollBlobSize> bytes {};
    for (auto& b : bytes)
        b = 0xff;
    const auto text = juce::MemoryBlock (bytes.data(), bytes.size()).toBase64Encoding();
    const auto roll = vl::decodeRoll (text);
    ASSERT_TRUE (roll.has_value());
    for (const auto& lane : roll->lanes)
    {
        EXPECT_GE (lane.basePattern.length, 1);
        EXPECT_LE (lane.basePattern.length, 32);
        EXPECT_TRUE (std::isfinite (lane.basePattern.fargShift));
        const auto* flags = reinterpret_cast<const unsigned char*> (&lane.basePattern.steps[0]);
        EXPECT_EQ (flags[0], 1);
    }
    EXPECT_FALSE (vl::decodeRoll ("").has_value());
    EXPECT_FALSE (vl::decodeEgen ("191." + juce::String::repeatedString ("A", 255)).has_value());
}

} // namespace

namespace
{
// A damaged project can claim any size in a blob's prefix; nothing may be allocated for it.
TEST (State, BlobPrefixesMustNameTheExpectedSize)
{
    for (const char* text : { "4000000000.ABC", "-99.ABC", "18446744073709551615.A", "2248", "2248x.AAAA", ".AAAA", "02248.AAAA" })
    {
        EXPECT_FALSE (vl::decodeRoll (text).has_value()) << text;
        EXPECT_FALSE (vl::decodeEgen (text).has_value()) << text;
    }
}
} // namespace
