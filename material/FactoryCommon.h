// Helpers the factory recipes share; not part of the factory's interface.
#pragma once

#include "family/Random.h"

#include <numbers>

namespace vl::factory
{

// All synthesis runs at this rate; voices resample by the chip's sampleRate.
constexpr double rate = 48000.0;
constexpr double pi = std::numbers::pi;

inline int samplesFor (double milliseconds) { return static_cast<int> (milliseconds * rate * 0.001); }

// One draw of the noise source as a sample in [-1, 1).
inline double bipolar (gv::Rng& noise) { return 2.0 * noise.uniform() - 1.0; }

// Advances a phase in [0, 1); true on the sample where it wraps.
inline bool advance (double& phase, double increment)
{
    phase += increment;
    if (phase < 1.0)
        return false;
    phase -= 1.0;
    return true;
}

} // namespace vl::factory
