// A streaming writer of 24-bit PCM WAV files.
#include "host/Wav.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

namespace vh
{
namespace
{

void put16 (uint8_t* p, uint32_t v)
{
    p[0] = (uint8_t) v;
    p[1] = (uint8_t) (v >> 8);
}

void put32 (uint8_t* p, uint32_t v)
{
    put16 (p, v & 0xffff);
    put16 (p + 2, v >> 16);
}

// RIFF sizes are 32-bit; stop short of 4 GiB so the header stays truthful.
constexpr uint64_t maxDataBytes = 0xffffffffull - 64;

} // namespace

WavWriter::~WavWriter()
{
    std::string ignored;
    close (ignored);
}

bool WavWriter::open (const std::string& path, int numChannels, uint32_t sampleRate, std::string& error)
{
    if (numChannels < 1 || numChannels > 16 || sampleRate == 0)
    {
        error = "bad WAV format";
        return false;
    }
    file = std::fopen (path.c_str(), "wb");
    if (file == nullptr)
    {
        error = "cannot write " + path + ": " + std::strerror (errno);
        return false;
    }
    channelCount = numChannels;
    uint8_t header[44] = {};
    std::memcpy (header, "RIFF", 4);
    std::memcpy (header + 8, "WAVEfmt ", 8);
    put32 (header + 16, 16);
    put16 (header + 20, 1); // PCM
    put16 (header + 22, (uint32_t) numChannels);
    put32 (header + 24, sampleRate);
    put32 (header + 28, sampleRate * 3u * (uint32_t) numChannels);
    put16 (header + 32, 3u * (uint32_t) numChannels);
    put16 (header + 34, 24);
    std::memcpy (header + 36, "data", 4);
    failed = std::fwrite (header, 1, sizeof header, file) != sizeof header;
    return ! failed;
}

bool WavWriter::write (const float* const* channels, uint32_t frames)
{
    if (file == nullptr || failed)
        return false;
    const uint64_t bytes = (uint64_t) frames * 3u * (uint64_t) channelCount;
    if (dataBytes + bytes > maxDataBytes)
    {
        failed = true;
        return false;
    }
    std::vector<uint8_t> out ((size_t) bytes);
    uint8_t* p = out.data();
    for (uint32_t i = 0; i < frames; ++i)
        for (int c = 0; c < channelCount; ++c)
        {
            const float x = channels[c][i];
            const double clipped = std::isfinite (x) ? std::clamp ((double) x, -1.0, 1.0) : 0.0;
            const auto v = (int32_t) std::lround (clipped * 8388607.0);
            p[0] = (uint8_t) v;
            p[1] = (uint8_t) (v >> 8);
            p[2] = (uint8_t) (v >> 16);
            p += 3;
        }
    failed = std::fwrite (out.data(), 1, out.size(), file) != out.size();
    dataBytes += bytes;
    return ! failed;
}

bool WavWriter::close (std::string& error)
{
    if (file == nullptr)
        return ! failed;
    bool ok = ! failed;
    if (dataBytes % 2 == 1)
        ok = std::fputc (0, file) != EOF && ok; // chunks are padded to even length
    uint8_t size[4];
    put32 (size, (uint32_t) (36 + dataBytes + dataBytes % 2));
    ok = std::fseek (file, 4, SEEK_SET) == 0 && std::fwrite (size, 1, 4, file) == 4 && ok;
    put32 (size, (uint32_t) dataBytes);
    ok = std::fseek (file, 40, SEEK_SET) == 0 && std::fwrite (size, 1, 4, file) == 4 && ok;
    ok = std::fclose (file) == 0 && ok;
    file = nullptr;
    if (! ok)
        error = failed ? "the WAV file grew past 4 GiB or a write failed" : "writing the WAV file failed";
    failed = ! ok;
    return ok;
}

} // namespace vh
