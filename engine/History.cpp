// Variants and the way back: NÄSTA, a lane's own next variant, TILLBAKA, bookmarks and restore.
#include "engine/Engine.h"

#include "family/Random.h"
#include "patterns/Generate.h"

#include <cstring>

namespace vl
{

namespace
{
bool samePatterns (const HistoryEntry& entry, const Roll& roll)
{
    for (int lane = 0; lane < numLanes; ++lane)
        if (std::memcmp (&entry.patterns[(size_t) lane], &roll.lanes[(size_t) lane].currentPattern, sizeof (Pattern)) != 0)
            return false;
    return true;
}

void capture (HistoryEntry& entry, const Roll& roll)
{
    for (int lane = 0; lane < numLanes; ++lane)
    {
        entry.patterns[(size_t) lane] = roll.lanes[(size_t) lane].currentPattern;
        entry.seeds[(size_t) lane] = roll.lanes[(size_t) lane].laneSeed;
    }
}

int slotOf (std::int32_t slot) { return ((slot % Engine::bookmarkSlots) + Engine::bookmarkSlots) % Engine::bookmarkSlots; }
} // namespace

std::int64_t Engine::barStamp() const
{
    return std::max<std::int64_t> (0, bar.load (std::memory_order_relaxed));
}

void Engine::pushHistory()
{
    if (historyCount >= 1 && samePatterns (history[(size_t) ((historyHead + historySize - 1) % historySize)], roll))
        return;
    capture (history[(size_t) historyHead], roll);
    historyHead = (historyHead + 1) % historySize;
    historyCount = std::min (historyCount + 1, historySize);
}

void Engine::nextAll (std::uint32_t seed, const Gens& gens)
{
    pushHistory();
    seedAll = seed;
    const auto stamp = barStamp();

    bool anyFrozen = false;
    for (int lane = 1; lane < numLanes; ++lane)
        anyFrozen = anyFrozen || gens[(size_t) lane].frys;

    for (int lane = 1; lane < numLanes; ++lane)
    {
        const auto& gen = gens[(size_t) lane];
        if (gen.frys)
            continue;
        const auto laneSeed = gv::hashMix (seed, (std::uint32_t) lane);
        if (anyFrozen)
            roll.inherit (lane, gen, laneSeed, stamp); // ARV: the frozen lanes pass their feel on
        else
            roll.setBase (lane, generate (lane, gen, laneSeed), laneSeed, stamp);
    }
    lastMutBar = stamp;
}

void Engine::nextLane (int lane, std::uint32_t seed, const Gens& gens)
{
    if (lane < 1 || lane >= numLanes)
        return;
    pushHistory();
    const auto& gen = gens[(size_t) lane];
    if (gen.frys)
        roll.inherit (lane, gen, seed, barStamp());
    else
        roll.setBase (lane, generate (lane, gen, seed), seed, barStamp());
}

void Engine::back (const Gens& gens)
{
    if (historyCount == 0)
        return;
    historyHead = (historyHead + historySize - 1) % historySize;
    --historyCount;
    takeEntry (history[(size_t) historyHead], gens);
}

// Unfrozen lanes take the entry's patterns and seeds as new bases from the current bar on.
void Engine::takeEntry (const HistoryEntry& entry, const Gens& gens)
{
    const auto stamp = barStamp();
    for (int lane = 0; lane < numLanes; ++lane)
        if (! gens[(size_t) lane].frys)
            roll.setBase (lane, entry.patterns[(size_t) lane], entry.seeds[(size_t) lane], stamp);
    lastMutBar = stamp;
}

void Engine::setBookmark (std::int32_t slot)
{
    const int i = slotOf (slot);
    capture (bookmarks[(size_t) i], roll);
    bookmarkPosition[(size_t) i].store (recorderPosition(), std::memory_order_relaxed);
    bookmarkValid[(size_t) i].exchange (true);
}

void Engine::recallBookmark (std::int32_t slot, const Gens& gens)
{
    const int i = slotOf (slot);
    if (bookmarkValid[(size_t) i].load())
        takeEntry (bookmarks[(size_t) i], gens);
}

void Engine::restoreRoll()
{
    const auto& restoreSnapshot = restoreSnapshots[(size_t) liveRestoreSnapshot.load (std::memory_order_acquire)];
    for (int i = 0; i < numLanes; ++i)
    {
        const auto& saved = restoreSnapshot.lanes[i];
        roll.setBase (i, saved.basePattern, saved.seed, saved.baseBar);
    }
    seedAll = restoreSnapshot.seedAll;
    lastMutBar = -1;
    resync = true;
}

} // namespace vl
