// The per-lane test that keeps generated and mutated patterns playable for their role.
#pragma once

#include "patterns/Pattern.h"

namespace vl
{

// What the test looks at; exposed so the lane strips and tests can show why a pattern fails.
struct PatternCensus
{
    int hits = 0;
    int longestRun = 0;    // consecutive on steps; at least 2 when the cycle wraps hit to hit
    int firmDownbeats = 0; // non-ghost hits on every fourth step, counted only when 4 divides the length
};

PatternCensus takeCensus (const Pattern& pattern);

// True when the pattern has a hit and stays within its lane's limits on runs, downbeats and
// crowding. Pure; any thread.
bool isPlausible (int lane, const Pattern& pattern);

} // namespace vl
