// One small bar-to-bar edit of a lane's pattern, kept only when the lane stays plausible.
#pragma once

#include "family/Random.h"
#include "patterns/Pattern.h"

namespace vl
{

// Edits the pattern in place (move, chip change, ghost, add, remove, colour, re-pitch or
// recall of an earlier version, then maybe a nudge), trying up to four times for a
// plausible result; on success the previous version goes into memory, otherwise pattern
// and memory stay as they were. KICK is never touched. Fully determined by its arguments,
// so a transport jump can replay it. Audio thread; allocates nothing.
void mutate (int lane, Pattern& pattern, LaneMemory& memory, const LaneGen& gen, gv::Rng& rng);

} // namespace vl
