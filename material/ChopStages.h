// The chopper's stages, each a pure function over 48 kHz buffers; chop() runs them in order.
#pragma once

#include "material/LargeBuffer.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace vl::chopping
{

// Every stage works at this rate, and every chip comes out at it.
constexpr double rate = 48000.0;

// [start, end) in 48 kHz samples.
struct Slice
{
    int start = 0;
    int end = 0;

    int length() const { return end - start; }
    bool operator== (const Slice&) const = default;
};

// The source at 48 kHz, linearly interpolated; mono = (left + right) · 0.5.
struct Resampled
{
    LargeFloats left, right, mono;
};

// Empty when the rate is not a positive finite number or the result would not fit an int.
// Samples that are not finite become 0.
Resampled resample (const float* left, const float* right, int n, double sampleRate);

// Attack positions, 1 ms before each detection and at least 30 ms apart.
std::vector<int> findOnsets (std::span<const float> mono);

// Slices between the onsets; stretches over 400 ms are cut into random 120..350 ms pieces,
// each moved to the next zero crossing within 400 samples. Pieces under 5 ms are dropped.
std::vector<Slice> cutSlices (std::span<const float> mono, std::span<const int> onsets, std::uint32_t seed);

// At most maxCount slices, spread evenly over the list: slice (j · count) / maxCount for each j.
std::vector<Slice> thinSlices (const std::vector<Slice>& slices, int maxCount);

// Fade-in and fade-out that end on exact zeros at both ends of the chip.
void fadeEnds (std::span<float> left, std::span<float> right);

// Scales both channels towards an RMS of 0.22 without letting the source peak pass 0.85.
void normaliseLoudness (std::span<float> left, std::span<float> right, float sourcePeak);

struct Pitch
{
    float f0 = 0.0f;          // Hz
    float periodicity = 0.0f; // 0..1
};

// The fundamental of a mono slice by a normalised difference search over lags 40..800
// (1200..60 Hz). None for slices shorter than 1201 samples.
std::optional<Pitch> findPitch (std::span<const float> x);

// What the box decision and the chip's colour are made of.
struct Features
{
    float durationMs = 0.0f;
    float flux = 0.0f;       // share of energy in sample-to-sample change, 0..1
    float hf = 0.0f;         // share of energy above about 4 kHz
    float brightness = 0.0f; // 0..1
    float peakMs = 0.0f;     // where the first largest sample lies
    int zeroCrossings = 0;
    std::optional<Pitch> pitch;
};

// Measured over the slice's mono samples before fades and gain.
Features measure (std::span<const float> x);

// Box 0..4 (KLICK, TICK, RÖST, TON, BRUS) for a slice of `length` samples.
int classify (const Features& f, int length);

// The MIDI note a chip is tagged with: only clearly periodic slices get one, 0 otherwise.
float pitchNote (const Features& f);

} // namespace vl::chopping
