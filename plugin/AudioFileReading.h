// Opening the user's audio files: the four readable formats, and cut-short files left alone.
#pragma once

#include <juce_audio_formats/juce_audio_formats.h>

#include <memory>

namespace vl
{

// WAV, AIFF, FLAC and Ogg Vorbis, tried in that order by extension; null for anything else,
// for files that cannot be opened, and for a WAV or AIFF cut short of what its header promises.
std::unique_ptr<juce::AudioFormatReader> openAudioFile (const juce::File& file);

// The first frames of a file as two channels (a mono file in both), or false when unreadable.
bool readAudioFile (const juce::File& file, double maxSeconds, juce::AudioBuffer<float>& audio, double& sampleRate);

} // namespace vl
