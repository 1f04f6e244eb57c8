#include "plugin/AudioFileReading.h"

namespace vl
{

namespace
{
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

} // namespace

std::unique_ptr<juce::AudioFormatReader> openAudioFile (const juce::File& file)
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

bool readAudioFile (const juce::File& file, double maxSeconds, juce::AudioBuffer<float>& audio, double& sampleRate)
{
    const auto reader = openAudioFile (file);
    if (reader == nullptr || reader->sampleRate <= 0.0 || ! std::isfinite (reader->sampleRate) || reader->numChannels < 1)
        return false;

    const auto limit = (juce::int64) std::floor (maxSeconds * reader->sampleRate);
    const auto frames = std::min<juce::int64> (reader->lengthInSamples, limit);
    if (frames <= 0 || frames > std::numeric_limits<int>::max())
        return false;

    audio.setSize (2, (int) frames);
    audio.clear();
    if (! reader->read (&audio, 0, (int) frames, 0, true, true))
        return false;
    if (reader->numChannels == 1)
        audio.copyFrom (1, 0, audio, 0, 0, (int) frames);
    sampleRate = reader->sampleRate;
    return true;
}

} // namespace vl
