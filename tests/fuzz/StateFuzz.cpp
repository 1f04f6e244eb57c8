// libFuzzer: any bytes as a saved state. The instance must stay usable and keep playing.
#include "plugin/VirlProcessor.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <cstdint>

namespace
{
VirlProcessor& instance()
{
    // Never torn down: libFuzzer exits from inside the run, and JUCE's shutdown would race the
    // statics it leaves behind.
    [[maybe_unused]] static auto* juce = new juce::ScopedJuceInitialiser_GUI();
    static auto& processor = *new VirlProcessor();
    static const bool prepared = [] {
        processor.prepareToPlay (48000.0, 512);
        return true;
    }();
    juce::ignoreUnused (prepared);
    return processor;
}

// A valid state with the fuzzer's bytes in the places a damaged project file would carry them.
juce::MemoryBlock wrapped (const std::uint8_t* data, size_t size)
{
    std::string ascii;
    for (size_t i = 0; i < size; ++i)
        ascii += (char) std::max (1, data[i] & 0x7f); // text attributes hold valid text
    const juce::String text (ascii);
    juce::XmlElement xml ("VIRL");
    xml.setAttribute ("preset", text.getIntValue());
    xml.setAttribute ("bibliotek", text);
    xml.setAttribute ("rulle", juce::MemoryBlock (data, size).toBase64Encoding());
    xml.setAttribute ("egen", size > 0 && data[0] % 2 == 0 ? juce::MemoryBlock (data, size).toBase64Encoding() : text);
    auto* param = xml.createNewChildElement ("PARAM");
    param->setAttribute ("id", "l3_niva");
    param->setAttribute ("value", text);
    juce::MemoryBlock block;
    juce::AudioProcessor::copyXmlToBinary (xml, block);
    return block;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, size_t size)
{
    auto& processor = instance();
    processor.setStateInformation (data, (int) size);
    const auto block = wrapped (data, size);
    processor.setStateInformation (block.getData(), (int) block.getSize());

    juce::AudioBuffer<float> buffer (2, 512);
    juce::MidiBuffer midi;
    processor.processBlock (buffer, midi);
    for (int c = 0; c < 2; ++c)
        for (int i = 0; i < 512; ++i)
            if (! std::isfinite (buffer.getSample (c, i)) || std::abs (buffer.getSample (c, i)) > 0.9661f)
                __builtin_trap();
    juce::MemoryBlock saved;
    processor.getStateInformation (saved);
    return 0;
}
