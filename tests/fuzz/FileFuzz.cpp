// libFuzzer: any bytes as an audio file of each readable kind, chopped into the bank.
#include "material/MergeImport.h"
#include "plugin/VirlProcessor.h"

#include <cstddef>
#include <cstdint>

namespace
{
VirlProcessor& instance()
{
    // Never torn down: libFuzzer exits from inside the run, and JUCE's shutdown would race the
    // statics it leaves behind.
    [[maybe_unused]] static auto* juce = new juce::ScopedJuceInitialiser_GUI();
    static auto& processor = *new VirlProcessor();
    return processor;
}

const char* const extensions[] = { ".wav", ".aif", ".flac", ".ogg" };
} // namespace

extern "C" int LLVMFuzzerTestOneInput (const std::uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const auto file = juce::File::getSpecialLocation (juce::File::tempDirectory)
                          .getChildFile ("virl-fuzz" + juce::String (extensions[data[0] % 4]));
    file.replaceWithData (data + 1, size - 1);
    instance().chopIntoBank (file, vl::importMaxChips, 10.0f);
    file.deleteFile();
    return 0;
}
