// The long-form shape of the groove: the arc level per bar, lane rests and the gaps (LUCKA).
#pragma once

#include "engine/EngineParams.h"

#include <array>
#include <cstdint>

namespace vl
{

// Lower numbers matter more: they rest last when the arc is low and survive band thinning.
constexpr std::array<int, 8> lanePriority { 0, 2, 3, 1, 5, 6, 4, 7 };

struct ArcPoint
{
    float level = 1.0f; // 1 when the arc is off
    float drive = 1.4f; // scales each lane's per-bar mutation chance
};

// Pure function of the bar at the current tempo: a tempo change moves the arc position at once.
ArcPoint arc (std::int64_t bar, double bpm, const EngineParams& p);

// True when the arc level is too low for lane (1..7) to play this bar. KICK never rests.
bool arcRestsLane (float level, int lane);

// True when a gap of the eight-bar phrases up to two back mutes lane (1..7) in bar.
bool luckaMuted (const EngineParams& p, std::uint32_t seedAll, int lane, std::int64_t bar);

// The eight lane gates of a bar: 0 for a resting or gapped lane, 1 otherwise.
std::array<float, 8> laneGates (const EngineParams& p, std::uint32_t seedAll, std::int64_t bar, float level);

} // namespace vl
