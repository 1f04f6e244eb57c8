// Coefficient helpers and the raw random step the master chain is built from.
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
