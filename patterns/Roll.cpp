// Setting a lane's base and inheriting a new variant from its current pattern.
#include "patterns/Roll.h"

#include "family/Random.h"
#include "patterns/Mutate.h"

namespace vl
{

void Roll::setBase (int lane, const Pattern& pattern, std::uint32_t seed, std::int64_t bar)
{
    auto& entry = lanes[static_cast<std::size_t> (lane)];
    entry.basePattern = pattern;
    entry.currentPattern = pattern;
    forget (entry.memory);
    entry.laneSeed = seed;
    entry.baseBar = bar;
}

void Roll::inherit (int lane, const LaneGen& gen, std::uint32_t seed, std::int64_t bar)
{
    auto& entry = lanes[static_cast<std::size_t> (lane)];
    gv::Rng rng (seed);
    Pattern variant = entry.currentPattern;

    // The lane's own memory is emptied afterwards anyway, so it serves as the four
    // mutations' scratch memory: starting empty it behaves exactly like a fresh one and
    // saves a 4 kB copy on the audio thread's stack.
    forget (entry.memory);
    for (int i = 0; i < 4; ++i)
        mutate (lane, variant, entry.memory, gen, rng);

    setBase (lane, variant, seed, bar);
}

} // namespace vl
