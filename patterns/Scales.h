// The five scales, snapping a pitch offset to them, and the pitch offsets lanes draw.
#pragma once

#include "family/Random.h"
#include "family/Role.h"

#include <cstdint>

namespace vl
{

constexpr int numScales = 5; // MOLL, DORISK, FRYGISK, MOLLPENTA, KVINT

// The scale tone nearest to a semitone offset, in the offset's own octave or the root of the
// next one; ties go to the lower tone. A scale index outside 0..4 is clamped. Any thread.
int snapToScale (int semitones, int scale);

// The pitch offset a step of the role gets: BAS, TON, RÖST and SPÖKE draw from rng, the
// other roles take 0 without a draw. Shared by generation and mutation so both keep the
// same draw order.
std::int8_t pickPitch (gv::Role role, gv::Rng& rng);

} // namespace vl
