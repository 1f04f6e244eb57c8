// Coefficients and per-sample cores of the small filters the master chain is built from.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace vl::master
{

// One-pole low-pass at hz: state += (input − state)·coefficient. Capped at 0.49·sr so the
// coefficient stays below 1 at any rate.
inline float onePoleCoefficient (double sampleRate, double hz)
{
    return (float) (1.0 - std::exp (-2.0 * std::numbers::pi * std::min (0.49 * sampleRate, hz) / sampleRate));
}

// Per-sample smoothing step of an envelope with time constant `seconds`.
inline float smoothingCoefficient (double sampleRate, double seconds)
{
    return (float) (1.0 - std::exp (-1.0 / (seconds * sampleRate)));
}

// Trapezoidal state-variable filter; low and high outputs share one state, so a low-pass and a
// high-pass at the same frequency and damping on the same input are one filter.
struct Svf
{
    float k = 0.0f, a1 = 0.0f, a2 = 0.0f, a3 = 0.0f;

    // g is capped at 0.45·sr, where tan() is still far from its pole.
    void setup (double sampleRate, double hz, float damping)
    {
        const double g = std::tan (std::numbers::pi * std::min (0.45 * sampleRate, hz) / sampleRate);
        k = damping;
        a1 = (float) (1.0 / (1.0 + g * (g + damping)));
        a2 = (float) (g * a1);
        a3 = (float) (g * a2);
    }

    struct State
    {
        float s1 = 0.0f, s2 = 0.0f;
    };

    struct Out
    {
        float low, high;
    };

    Out tick (State& s, float x) const
    {
        const float e = x - s.s2;
        const float band = a1 * s.s1 + a2 * e;
        const float low = s.s2 + a2 * s.s1 + a3 * e;
        s.s1 = 2.0f * band - s.s1;
        s.s2 = 2.0f * low - s.s2;
        return { low, x - k * band - low };
    }
};

// The engine's soft clip: x·(27 + x²)/(27 + 9·x²), which reaches 1.016129 at ±4.5 and stays there.
inline float softClip (float x)
{
    if (x < -4.5f) return -1.016129f;
    if (x > 4.5f) return 1.016129f;
    return x * (27.0f + x * x) / (27.0f + 9.0f * x * x);
}

// xorshift32 (13, 17, 5), the family's random step, on a raw state rather than a hashed seed;
// gv::unit turns a state into [0, 1).
inline std::uint32_t xorshift (std::uint32_t x)
{
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    return x;
}

} // namespace vl::master
