// Plausibility limits per lane: runs, firm downbeats and how full the cycle may get.
#include "patterns/Plausibility.h"

#include <algorithm>
#include <bit>
#include <cstdint>

namespace vl
{

// Bit masks instead of a branchy walk: mutation replays after a long jump take this census
// tens of thousands of times inside one audio chunk.
PatternCensus takeCensus (const Pattern& pattern)
{
    const int length = std::clamp (pattern.length, 0, maxSteps);
    std::uint32_t on = 0, ghost = 0;
    for (int i = 0; i < length; ++i)
    {
        const auto& step = pattern.steps[static_cast<std::size_t> (i)];
        on |= static_cast<std::uint32_t> (step.on) << i;
        ghost |= static_cast<std::uint32_t> (step.ghost) << i;
    }

    PatternCensus census;
    census.hits = std::popcount (on);
    for (auto run = on; run != 0; run &= run << 1)
        ++census.longestRun;
    if (length % 4 == 0)
        census.firmDownbeats = std::popcount (on & ~ghost & 0x11111111u);

    // A hit on the last and the first step play back to back when the cycle loops.
    if (length > 0 && (on & 1u) != 0 && (on >> (length - 1) & 1u) != 0)
        census.longestRun = std::max (census.longestRun, 2);

    return census;
}

bool isPlausible (int lane, const Pattern& pattern)
{
    const auto census = takeCensus (pattern);
    if (census.hits < 1)
        return false;

    const int length = pattern.length;
    const int fiveEighths = (5 * length) >> 3;
    switch (lane)
    {
        case bas:
            // Firm bass on the quarters would double the kick.
            return census.longestRun <= 3 && census.firmDownbeats <= (length >= 16 ? length / 8 : 1)
                   && census.hits <= fiveEighths;
        case klick: return census.longestRun <= 2 && census.hits <= length / 2;
        case tick: return census.hits < length - 1 || length >= 16;
        case rost: return census.longestRun <= 3 && census.hits <= fiveEighths;
        case ton: return census.longestRun <= 3 && census.hits <= length / 2;
        case luft: return census.hits <= (length >= 12 ? length / 4 : 2);
        case spoke: return census.hits <= length / 2;
        default: return true;
    }
}

} // namespace vl
