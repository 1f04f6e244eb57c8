// The user's own audio: the library of files and chopping one of them into the bank.
#include "plugin/VirlProcessor.h"

#include "material/Chop.h"
#include "material/MergeImport.h"

#include <juce_audio_formats/juce_audio_formats.h>

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

// A WAV or AIFF whose header promises more audio than the file holds was cut short (an interrupted
// copy or download); its reader would pad the missing part with silence, so it is not read at all.
bool isTruncatedPcm (const juce::AudioFormatReader& reader, const juce::File& file)
{
    const auto format = reader.getFormatName();
    if (format != "WAV file" && format != "AIFF file")
        return false;
    const auto bytes = reader.lengthInSamples * (juce::int64) reader.numChannels * (juce::int64) (reader.bitsPerSample / 8);
    return file.getSize() < bytes;
}

// WAV, AIFF, FLAC and Ogg Vorbis, tried in that order by extension; MP3 and the rest are not read.
std::unique_ptr<juce::AudioFormatReader> openReader (const juce::File& file)
{
    std::vector<std::unique_ptr<juce::AudioFormat>> formats;
    formats.push_back (std::make_unique<juce::WavAudioFormat>());
    formats.push_back (std::make_unique<juce::AiffAudioFormat>());
    formats.push_back (std::make_unique<juce::FlacAudioFormat>());
    formats.push_back (std::make_unique<juce::OggVorbisAudioFormat>());
    for (auto& format : formats)
    {
        if (! format->canHandleFile (file))
            continue;
        auto stream = file.createInputStream();
        if (stream == nullptr)
            continue;
        if (auto* reader = format->createReaderFor (stream.release(), true))
        {
            std::unique_ptr<juce::AudioFormatReader> opened (reader);
            return isTruncatedPcm (*opened, file) ? nullptr : std::move (opened);
        }
    }
    return nullptr;
}
} // namespace

void VirlProcessor::chopIntoBank (const juce::File& file, int maxChips, float maxSeconds)
{
    const auto reader = openReader (file);
    if (reader == nullptr || reader->sampleRate <= 0.0 || ! std::isfinite (reader->sampleRate) || reader->numChannels < 1)
        return;

    const auto limit = (juce::int64) (std::floor ((double) maxSeconds * reader->sampleRate));
    const auto frames = std::min<juce::int64> (reader->lengthInSamples, limit);
    if (frames < vl::importMinFrames)
        return;

    juce::AudioBuffer<float> audio (2, (int) frames);
    audio.clear();
    if (! reader->read (&audio, 0, (int) frames, 0, true, true))
        return;
    if (reader->numChannels == 1)
        audio.copyFrom (1, 0, audio, 0, 0, (int) frames);

    const auto seed = (std::uint32_t) file.getFullPathName().hashCode();
    const auto chips = vl::chop (audio.getReadPointer (0), audio.getReadPointer (1), (int) frames, reader->sampleRate,
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
