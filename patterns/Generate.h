// Making a new pattern for a lane from its settings and a seed.
#pragma once

#include "patterns/Pattern.h"
#include "patterns/Plausibility.h"

#include <cstdint>

namespace vl
{

// A new pattern for the lane: in AUTO mostly a library rhythm near the wanted density,
// otherwise a rotated Euclidean rhythm, then chips, pitches and reverse flags per step.
// The same lane, settings and seed always give the same bytes. Audio thread (and the first
// prepare on the message thread); allocates nothing.
Pattern generate (int lane, const LaneGen& gen, std::uint32_t seed);

// The steps of a library text ('.' rest, 'x' hit, 'X' accent, 'g' ghost), at most 32.
Pattern patternFromText (const char* text);

} // namespace vl
