// A streaming writer of 24-bit PCM WAV files.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace vh
{

/** Writes interleaved 24-bit PCM; the header's sizes are filled in by close(). One thread. */
class WavWriter
{
public:
    WavWriter() = default;
    ~WavWriter();
    WavWriter (const WavWriter&) = delete;
    WavWriter& operator= (const WavWriter&) = delete;

    bool open (const std::string& path, int numChannels, uint32_t sampleRate, std::string& error);
    /** Writes `frames` frames taken from `channels[c][i]`; samples are clipped to -1..1. */
    bool write (const float* const* channels, uint32_t frames);
    bool close (std::string& error);

private:
    std::FILE* file = nullptr;
    int channelCount = 0;
    uint64_t dataBytes = 0;
    bool failed = false;
};

} // namespace vh
