// The chopper: stereo audio in, loudness-matched 48 kHz chips sorted by character out.
#pragma once

#include "material/Virl.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace vl
{

// Cuts n frames at sampleRate into at most maxChips chips, in time order. The seed decides where
// long stretches without attacks are cut. forcedBox −1 sorts every chip into the box its sound
// belongs to; any other value is written into every chip's box as it is. Silence, fewer than 64
// frames, missing channels or a rate that is not a positive number give an empty list; samples
// that are not finite count as silence. Pool thread or message thread, never the audio thread.
std::vector<std::shared_ptr<const Virl>> chop (const float* left, const float* right, int n, double sampleRate,
                                               int maxChips, std::uint32_t seed, int forcedBox);

} // namespace vl
