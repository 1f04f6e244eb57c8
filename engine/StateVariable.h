// The trapezoidal state-variable filter the bass and the lane channels share.
#pragma once

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vl
{

struct SvfCoefficients
{
    float g = 0.0f, k = 1.0f, a1 = 1.0f, a2 = 0.0f, a3 = 0.0f;
};

// Cutoff is clamped to 10 Hz .. 0.45·sampleRate, where tan() is still far from its pole.
// k is 1/Q: 1.1111112 (Q 0.9) for the bass, 1.4285715 (Q 0.7) for the lane colour filters.
inline SvfCoefficients svfCoefficients (double cutoff, double sampleRate, float k) noexcept
{
    cutoff = std::clamp (cutoff, 10.0, 0.45 * sampleRate);
    SvfCoefficients c;
    c.g = (float) std::tan (std::numbers::pi * cutoff / sampleRate);
    c.k = k;
    c.a1 = 1.0f / (1.0f + c.g * (c.g + k));
    c.a2 = c.g * c.a1;
    c.a3 = c.g * c.a2;
    return c;
}

// One step of the filter with states s1, s2 (kept by the caller in locals); returns the band
// output and stores the low-pass output in low. The high-pass output is x − k·band − low.
inline float svfStep (const SvfCoefficients& c, float& s1, float& s2, float x, float& low) noexcept
{
    const float e = x - s2;
    const float band = c.a1 * s1 + c.a2 * e;
    low = s2 + c.a2 * s1 + c.a3 * e;
    s1 = 2.0f * band - s1;
    s2 = 2.0f * low - s2;
    return band;
}

} // namespace vl
