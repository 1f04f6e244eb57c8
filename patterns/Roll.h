// The eight lanes' patterns as the engine plays them: base, current and mutation memory.
#pragma once

#include "patterns/Pattern.h"

namespace vl
{

struct RollLane
{
    Pattern basePattern;    // as generated, inherited or restored
    Pattern currentPattern; // the base plus the mutations since baseBar
    LaneMemory memory;
    std::uint32_t laneSeed = 0;
    std::int64_t baseBar = 0;
};

struct Roll
{
    std::array<RollLane, numLanes> lanes {};

    // Makes pattern the lane's base and current pattern and forgets the lane's memory.
    void setBase (int lane, const Pattern& pattern, std::uint32_t seed, std::int64_t bar);

    // A new variant of the lane that keeps its feel: four mutations of the current pattern
    // become the new base. Audio thread; allocates nothing.
    void inherit (int lane, const LaneGen& gen, std::uint32_t seed, std::int64_t bar);
};

} // namespace vl
