// The roll in the fixed little-endian layout that the saved state carries: 2244 bytes.
#pragma once

#include "patterns/Roll.h"

#include <cstdint>
#include <cstring>

namespace vl
{

#pragma pack(push, 4)
struct RollSnapshotLane
{
    Pattern basePattern;
    std::uint32_t seed = 0;
    std::uint32_t padding = 0;
    std::int64_t baseBar = 0;
};

struct RollSnapshot
{
    RollSnapshotLane lanes[numLanes] {};
    std::uint32_t seedAll = 0;
};
#pragma pack(pop)

static_assert (sizeof (RollSnapshotLane) == 280);
static_assert (sizeof (RollSnapshot) == 2244);

// The saved "rulle" block is the snapshot followed by four zero bytes.
constexpr size_t rollBlobSize = 2248;

inline void takeSnapshot (const Roll& roll, std::uint32_t seedAll, RollSnapshot& out)
{
    for (int i = 0; i < numLanes; ++i)
    {
        const auto& lane = roll.lanes[(size_t) i];
        out.lanes[i].basePattern = lane.basePattern;
        out.lanes[i].seed = lane.laneSeed;
        out.lanes[i].padding = 0;
        out.lanes[i].baseBar = lane.baseBar;
    }
    out.seedAll = seedAll;
}

} // namespace vl
