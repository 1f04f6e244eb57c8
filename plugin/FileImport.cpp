// The user's own audio: the library of files and chopping one of them into the bank.
#include "plugin/VirlProcessor.h"

#include "material/Chop.h"
#include "material/MergeImport.h"

#include "plugin/AudioFileReading.h"

namespace
{
constexpr int folderDepth = 6; // deep enough for sample packs, shallow enough not to walk a whole disk
constexpr int maxNewFiles = 5000;

const juce::StringArray readableExtensions { ".wav", ".bwf", ".aif", ".aiff", ".flac", ".ogg" };

bool isReadable (const juce::File& file)
{
    return file.existsAsFile() && readableExtensions.contains (file.getFileExtension().toLowerCase());
}

void collect (const juce::File& entry, int depth, juce::StringArray& out)
{
    if (out.size() >= maxNewFiles)
        return;
    if (isReadable (entry))
    {
        out.addIfNotAlreadyThere (entry.getFullPathName());
        return;
    }
    if (! entry.isDirectory() || depth <= 0)
        return;
    auto children = entry.findChildFiles (juce::File::findFilesAndDirectories | juce::File::ignoreHiddenFiles, false);
    children.sort();
    for (const auto& child : children)
        collect (child, depth - 1, out);
}

} // namespace

void VirlProcessor::chopIntoBank (const juce::File& file, int maxChips, float maxSeconds)
{
    juce::AudioBuffer<float> audio;
    double sampleRate = 0.0;
    if (! vl::readAudioFile (file, maxSeconds, audio, sampleRate) || audio.getNumSamples() < vl::importMinFrames)
        return;

    const auto seed = (std::uint32_t) file.getFullPathName().hashCode();
    const auto chips = vl::chop (audio.getReadPointer (0), audio.getReadPointer (1), audio.getNumSamples(), sampleRate,
                                 maxChips, seed, -1);
    if (chips.empty())
        return;

    auto bank = vl::deriveBank (currentBankCopy().get());
    gv::Rng rng (seed ^ juce::Time::getMillisecondCounter());
    vl::mergeImported (*bank, chips, rng);
    installBank (std::move (bank));

    const juce::ScopedLock lock (sourceLock);
    sourceName = juce::String (vl::sourceNameOf (file.getFullPathName().toStdString()));
}

int VirlProcessor::addToLibrary (const juce::StringArray& paths)
{
    juce::StringArray found;
    for (const auto& path : paths)
        if (juce::File::isAbsolutePath (path))
            collect (juce::File (path), folderDepth, found);

    juce::StringArray added;
    {
        const juce::ScopedLock lock (sourceLock);
        for (const auto& path : found)
            if (! library.contains (path))
            {
                library.add (path);
                added.add (path);
            }
    }

    if (! added.isEmpty() && radioBusy.load() == 0)
    {
        ++radioBusy;
        const juce::File first (added[0]);
        queueJob ([this, first] {
            chopIntoBank (first, vl::importMaxChips, vl::importMaxSeconds);
            --radioBusy;
        });
    }
    return added.size();
}

void VirlProcessor::clearLibrary()
{
    const juce::ScopedLock lock (sourceLock);
    library.clear();
}

juce::StringArray VirlProcessor::getLibrary() const
{
    const juce::ScopedLock lock (sourceLock);
    return library;
}

juce::String VirlProcessor::getSourceName() const
{
    const juce::ScopedLock lock (sourceLock);
    return sourceName;
}
