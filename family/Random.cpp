// Derived seeds shared by the engine's scheduling, arc and mutation replay.
#include "family/Random.h"

namespace gv
{

namespace
{
std::uint32_t low32 (std::int64_t v) { return static_cast<std::uint32_t> (static_cast<std::uint64_t> (v)); }

// Salt of the mutation draw source: keeps it apart from every other use of the lane/bar mix.
constexpr std::uint32_t mutationSalt = 0x398916b0u;
} // namespace

std::uint32_t laneSeed (std::uint32_t globalSeed, int lane)
{
    return hashMix (globalSeed, static_cast<std::uint32_t> (lane));
}

std::uint32_t barHash (std::int64_t bar) { return lowbias32 (low32 (bar) + 0x632be59bu); }

std::uint32_t sixteenthHash (std::int64_t sixteenth) { return lowbias32 (low32 (sixteenth) + 0x632be59bu); }

Rng mutationDrawSource (std::uint32_t laneSeed, std::int64_t bar, int lane)
{
    const auto laneBar = hashMix (hashMix (laneSeed, low32 (bar)), static_cast<std::uint32_t> (lane));
    return Rng (saltMix (laneBar, mutationSalt));
}

} // namespace gv
