// Mutation: weighted edit operations, retries against the plausibility test, the memory ring.
#include "patterns/Mutate.h"

#include "family/RhythmLibrary.h"
#include "patterns/Plausibility.h"
#include "patterns/Scales.h"

#include <algorithm>
#include <bit>
#include <cstdint>

namespace vl
{

namespace
{
constexpr int maxAttempts = 4;
constexpr float nudgeChance = 0.12f;
constexpr int nudgeMin = -12; // hundredths of a sixteenth: a hit may drag more than it rushes
constexpr int nudgeMax = 18;
constexpr float colourStep = 0.12f;
constexpr float colourLimit = 0.4f;
constexpr float addedGhostChance = 0.55f;
constexpr float chipSpreadChance = 0.35f;

enum Operation : int
{
    move,
    chipChange,
    ghostToggle,
    addHit,
    removeHit,
    colour,
    repitch,
    recall,
    numOperations
};

std::size_t at (int i) { return static_cast<std::size_t> (i); }

// The steps whose `on` equals wanted, as a bit mask over the cycle.
std::uint32_t stepsWhere (const Pattern& pattern, bool wanted)
{
    std::uint32_t mask = 0;
    for (int i = 0; i < pattern.length; ++i)
        mask |= static_cast<std::uint32_t> (pattern.steps[at (i)].on == wanted) << i;
    return mask;
}

// The k-th set step in order; -1 for an empty mask, and a single step is taken without a draw.
int pickFrom (std::uint32_t steps, gv::Rng& rng)
{
    const int count = std::popcount (steps);
    if (count == 0)
        return -1;
    if (count > 1)
        for (auto k = rng.next() % static_cast<std::uint32_t> (count); k > 0; --k)
            steps &= steps - 1;
    return std::countr_zero (steps);
}

int pickHit (const Pattern& pattern, gv::Rng& rng) { return pickFrom (stepsWhere (pattern, true), rng); }

// The one stays on the grid: whatever lands on step 0 loses its nudge.
void place (Pattern& pattern, int index, const Step& step)
{
    pattern.steps[at (index)] = step;
    if (index == 0)
        pattern.steps[0].nudge = 0;
}

void moveHit (Pattern& pattern, gv::Rng& rng)
{
    const int hit = pickHit (pattern, rng);
    if (hit < 0)
        return;
    const int length = pattern.length;
    const int neighbour = rng.uniform() < 0.5f ? (hit + 1) % length : (hit + length - 1) % length;
    if (pattern.steps[at (neighbour)].on)
        return;
    const Step moving = pattern.steps[at (hit)];
    place (pattern, hit, pattern.steps[at (neighbour)]);
    place (pattern, neighbour, moving);
}

void changeChip (Pattern& pattern, gv::Rng& rng)
{
    const int hit = pickHit (pattern, rng);
    if (hit < 0)
        return;
    const auto a = rng.next();
    const auto b = rng.next();
    const int size = static_cast<int> (a % 3u) + 1;
    const int change = gv::unit (b) < 0.5f ? size : -size;

    const std::uint16_t previous = pattern.steps[at (hit)].chip;
    const auto changed = static_cast<std::uint16_t> (previous + change);
    pattern.steps[at (hit)].chip = changed;

    // Sometimes the whole voice swaps its chip, not just one hit.
    if (rng.uniform() < chipSpreadChance)
        for (int i = 0; i < pattern.length; ++i)
            if (pattern.steps[at (i)].chip == previous)
                pattern.steps[at (i)].chip = changed;
}

void toggleGhost (Pattern& pattern, gv::Rng& rng)
{
    const int hit = pickHit (pattern, rng);
    if (hit >= 0)
        pattern.steps[at (hit)].ghost = ! pattern.steps[at (hit)].ghost;
}

void addNewHit (Pattern& pattern, gv::Rng& rng)
{
    const int target = pickFrom (stepsWhere (pattern, false), rng);
    if (target < 0)
        return;
    // The new hit borrows an existing hit's chip and pitch so it belongs to the voice.
    const int model = pickHit (pattern, rng);
    Step step = model >= 0 ? pattern.steps[at (model)] : Step {};
    step.on = true;
    step.accent = false;
    step.ghost = rng.uniform() < addedGhostChance;
    place (pattern, target, step);
}

void removeOneHit (Pattern& pattern, int hits, gv::Rng& rng)
{
    // A lane is never emptied by mutation.
    if (hits <= 1)
        return;
    const int hit = pickHit (pattern, rng);
    if (hit >= 0)
        pattern.steps[at (hit)].on = false;
}

void shiftColour (Pattern& pattern, gv::Rng& rng)
{
    const float step = rng.uniform() < 0.5f ? colourStep : -colourStep;
    pattern.fargShift = std::clamp (pattern.fargShift + step, -colourLimit, colourLimit);
}

void repitchHit (int lane, Pattern& pattern, gv::Rng& rng)
{
    const int hit = pickHit (pattern, rng);
    if (hit >= 0)
        pattern.steps[at (hit)].pitch = pickPitch (static_cast<gv::Role> (lane), rng);
}

// Brings back a remembered version, never the newest one: that would just undo the last edit.
void recallVersion (Pattern& pattern, const LaneMemory& memory, gv::Rng& rng)
{
    if (memory.count <= 2)
        return;
    const int back = static_cast<int> (rng.next() % static_cast<std::uint32_t> (memory.count - 1));
    const int k = memory.head - 2 - back;
    pattern = memory.ring[at ((k + 32) % memoryDepth)];
}

void nudgeHit (Pattern& pattern, gv::Rng& rng)
{
    if (! (rng.uniform() < nudgeChance))
        return;
    const int hit = pickHit (pattern, rng);
    if (hit <= 0)
        return;
    auto& step = pattern.steps[at (hit)];
    const float moved = (2.0f * rng.uniform() - 1.0f) * 6.0f + static_cast<float> (step.nudge);
    step.nudge = static_cast<std::int8_t> (std::clamp (static_cast<int> (moved), nudgeMin, nudgeMax));
}

using Weights = std::array<int, numOperations>;

Weights weightsFor (int lane, int length, int hits, const LaneMemory& memory, float wanted)
{
    // Add and remove pull the hit count back towards the wanted density.
    const float target = static_cast<float> (length) * wanted;
    const auto m = static_cast<float> (hits);
    const bool sparse = m < target - 1.5f;
    const bool dense = m > target + 1.5f;

    const bool pitched = lane == bas || lane == rost || lane == ton || lane == spoke;

    Weights w {};
    w[move] = 20;
    w[chipChange] = 20;
    w[ghostToggle] = 15;
    w[addHit] = sparse ? 28 : (dense ? 2 : 12);
    w[removeHit] = sparse ? 2 : (dense ? 28 : 12);
    w[colour] = 8;
    w[repitch] = pitched ? 8 : 0;
    w[recall] = memory.count > 2 ? 5 : 0;
    return w;
}

Operation chooseOperation (const Weights& weights, gv::Rng& rng)
{
    int total = 0;
    for (const int w : weights)
        total += w;

    const float x = rng.uniform() * static_cast<float> (total);
    int bound = 0;
    for (int op = 0; op < numOperations; ++op)
    {
        bound += weights[at (op)];
        if (x <= static_cast<float> (bound))
            return static_cast<Operation> (op);
    }
    return colour; // not reached: x < total
}

void runOperation (Operation op, int lane, Pattern& pattern, int hits, const LaneMemory& memory, gv::Rng& rng)
{
    switch (op)
    {
        case move: moveHit (pattern, rng); break;
        case chipChange: changeChip (pattern, rng); break;
        case ghostToggle: toggleGhost (pattern, rng); break;
        case addHit: addNewHit (pattern, rng); break;
        case removeHit: removeOneHit (pattern, hits, rng); break;
        case colour: shiftColour (pattern, rng); break;
        case repitch: repitchHit (lane, pattern, rng); break;
        case recall: recallVersion (pattern, memory, rng); break;
        case numOperations: break;
    }
}

void remember (LaneMemory& memory, const Pattern& version)
{
    memory.ring[at (memory.head)] = version;
    memory.count = std::min (memory.count + 1, memoryDepth);
    memory.head = (memory.head + 1) % memoryDepth;
}
} // namespace

void mutate (int lane, Pattern& pattern, LaneMemory& memory, const LaneGen& gen, gv::Rng& rng)
{
    if (lane == kick)
        return;

    const Pattern before = pattern;
    const int hits = takeCensus (before).hits;
    const float wanted = gv::wantedDensity (static_cast<gv::Role> (lane), gen.tathet);
    const auto weights = weightsFor (lane, before.length, hits, memory, wanted);

    for (int attempt = 0; attempt < maxAttempts; ++attempt)
    {
        if (attempt > 0)
            pattern = before;
        runOperation (chooseOperation (weights, rng), lane, pattern, hits, memory, rng);
        nudgeHit (pattern, rng);

        if (isPlausible (lane, pattern))
        {
            remember (memory, before);
            return;
        }
    }
    pattern = before;
}

} // namespace vl
