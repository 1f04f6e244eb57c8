// Following the host sixteenth by sixteenth: relocation, bar-level work and hit scheduling.
#include "engine/Arc.h"
#include "engine/Engine.h"

#include "family/Random.h"
#include "patterns/Mutate.h"

#include <algorithm>
#include <cmath>

namespace vl
{

namespace
{
constexpr std::int64_t maxReplayBars = 4096;
constexpr std::array<int, numLanes> laneBand { 0, 0, 1, 2, 1, 1, 2, 1 };

std::int64_t floorDiv (std::int64_t a, std::int64_t b)
{
    const auto q = a / b;
    return (a % b != 0 && ((a < 0) != (b < 0))) ? q - 1 : q;
}

std::int64_t floorMod (std::int64_t a, std::int64_t b) { return a - floorDiv (a, b) * b; }

// Where the lanes last returned to the one (ETTAN) before sixteenth j.
std::int64_t restartOf (std::int64_t j, int ettanBars)
{
    if (ettanBars <= 0)
        return 0;
    const std::int64_t cycle = (std::int64_t) ettanBars * 16;
    return floorDiv (j, cycle) * cycle;
}

int stepIndex (std::int64_t j, int ettanBars, int length)
{
    const auto len = (std::int64_t) std::max (1, length);
    return (int) floorMod (j - restartOf (j, ettanBars), len);
}

bool laneIsSilent (const LaneParams& lane) { return lane.tyst || lane.niva <= 0.0001f; }

float mutationChance (float drift, float drive) { return std::min (1.0f, drift * drift * drive); }
} // namespace

void Engine::followTransport (const EngineParams& p, const Gens& gens, const Groove& groove, double tempo,
                              double ppq, bool isPlaying, int n)
{
    if (! isPlaying)
    {
        if (wasPlaying)
        {
            emptyPending();
            voices.releaseBass();
        }
        return;
    }

    if (! wasPlaying || std::abs (ppq - expectedPpq) > 0.05 || resync)
        relocate (p, gens, tempo, ppq);

    const double samplesPerSixteenth = rate * 60.0 / tempo * 0.25;
    const double end16 = (n * tempo / 60.0 / rate + ppq) * 4.0;
    while (end16 > (double) nextSixteenth - 0.5)
    {
        if (nextSixteenth >= 0 && nextSixteenth % 16 == 0)
            onBar (p, nextSixteenth / 16, tempo, gens);
        scheduleSixteenth (p, nextSixteenth, ppq, samplesPerSixteenth, sampleCounter, groove);
        ++nextSixteenth;
    }
}

void Engine::relocate (const EngineParams& p, const Gens& gens, double tempo, double ppq)
{
    emptyPending();
    nextSixteenth = (std::int64_t) std::ceil (ppq * 4.0 + 0.5);
    const std::int64_t target = floorDiv (nextSixteenth, 16);
    const std::int64_t targetBar = std::max<std::int64_t> (target, 0);

    for (int lane = 0; lane < numLanes; ++lane)
    {
        auto& l = roll.lanes[(size_t) lane];
        if (! gens[(size_t) lane].frys)
        {
            l.currentPattern = l.basePattern;
            forget (l.memory);
        }
    }

    std::int64_t oldestBase = targetBar;
    for (const auto& l : roll.lanes)
        oldestBase = std::min (oldestBase, l.baseBar);
    const std::int64_t start = std::max (oldestBase, targetBar - maxReplayBars);

    std::array<Pattern, numLanes> previous;
    replayMutations (p, gens, start, targetBar - 1, tempo);
    for (int lane = 0; lane < numLanes; ++lane)
        previous[(size_t) lane] = roll.lanes[(size_t) lane].currentPattern;
    replayMutations (p, gens, std::max (start, targetBar), targetBar, tempo);

    lastMutBar = targetBar;
    onBar (p, targetBar, tempo, gens);
    laneGateShown = laneGate;
    setBendTargetForBar (p, target);
    recallLastChips (p, previous.data(), nextSixteenth);
    resync = false;
}

// Each bar mutates with its own arc drive, exactly as steady playback does, so that a jump lands
// on the same patterns whether or not the arc is on.
void Engine::replayMutations (const EngineParams& p, const Gens& gens, std::int64_t from, std::int64_t to,
                              double tempo)
{
    for (std::int64_t bar = from; bar <= to; ++bar)
    {
        const float drive = arc (bar, tempo, p).drive;
        for (int lane = 1; lane < numLanes; ++lane)
        {
            const auto& gen = gens[(size_t) lane];
            auto& l = roll.lanes[(size_t) lane];
            if (gen.frys || l.baseBar >= bar)
                continue;
            auto rng = gv::mutationDrawSource (l.laneSeed, bar, lane);
            if (rng.uniform() < mutationChance (p.lanes[(size_t) lane].drift, drive))
                mutate (lane, l.currentPattern, l.memory, gen, rng);
        }
    }
}

void Engine::onBar (const EngineParams& p, std::int64_t barIndex, double tempo, const Gens& gens)
{
    const auto point = arc (barIndex, tempo, p);
    arcLevel = point.level;

    if (floorMod (barIndex, 8) == 0)
        pushHistory();

    if (lastMutBar < barIndex)
    {
        replayMutations (p, gens, std::max (lastMutBar + 1, barIndex - maxReplayBars), barIndex, tempo);
        lastMutBar = barIndex;
    }

    laneGate = laneGates (p, seedAll, barIndex, point.level);
    bar.store (barIndex, std::memory_order_relaxed);
}

void Engine::scheduleSixteenth (const EngineParams& p, std::int64_t j, double ppq, double samplesPerSixteenth,
                                std::int64_t chunkStartSample, const Groove& groove)
{
    struct Candidate
    {
        Pending hit;
        float offset16 = 0.0f;
    };
    std::array<Candidate, numLanes> candidates;
    int count = 0;

    const int s = (int) floorMod (j, 16);
    const float timing = groove[(size_t) s];
    const float accentShape = groove[(size_t) (16 + s)];
    const float ghostShape = groove[(size_t) (32 + s)];
    const double base = ((double) j - ppq * 4.0) * samplesPerSixteenth + (double) chunkStartSample;

    for (int lane = 0; lane < numLanes; ++lane)
    {
        const auto& lp = p.lanes[(size_t) lane];
        if (laneIsSilent (lp))
            continue;

        const auto& pattern = roll.lanes[(size_t) lane].currentPattern;
        const auto& step = pattern.steps[(size_t) stepIndex (j, p.ettanBars, pattern.length)];
        auto rng = gv::Rng (gv::saltMix (gv::hashMix (gv::hashMix (seedAll, (std::uint32_t) j), (std::uint32_t) lane),
                                         0xff6c61fdu));

        Pending hit;
        hit.lane = lane;
        hit.accent = step.accent ? 1 : 0;
        hit.stepReverse = step.reverse ? 1 : 0;
        hit.pitch = step.pitch;
        hit.nudge = step.nudge;
        hit.chip = step.chip;

        if (step.on)
        {
            lastChip[(size_t) lane] = step.chip;
            hit.ghost = step.ghost ? 1 : 0;
            hit.velocity = step.accent ? 1.0f : step.ghost ? 0.38f : 0.78f;
        }
        else
        {
            if (lane != klick && lane != tick)
                continue;
            const float u = rng.uniform();
            if (! (0.8f * ghostShape * p.svang > u) || lastChip[(size_t) lane] == -1)
                continue;
            hit.chip = (std::uint16_t) lastChip[(size_t) lane];
            hit.ghost = 1;
            hit.velocity = step.accent ? 1.0f : 0.38f;
        }

        if (lane != kick)
            hit.velocity *= 1.0f + (0.5f * accentShape - 0.45f) * std::clamp (p.svang, 0.0f, 1.0f);

        hit.reverse = step.reverse;
        if (! step.reverse && lp.bakl > 0.0f)
            hit.reverse = rng.uniform() < 0.6f * lp.bakl;

        candidates[(size_t) count++].hit = hit;
    }

    // Crowded bands: past two hits in a band, the least important lanes give way.
    for (int band = 1; band <= 2; ++band)
    {
        int inBand = 0;
        for (int c = 0; c < count; ++c)
            inBand += laneBand[(size_t) candidates[(size_t) c].hit.lane] == band ? 1 : 0;
        int toSoften = inBand - 2;
        for (int priority = 7; priority >= 0 && toSoften > 0; --priority)
            for (int c = 0; c < count && toSoften > 0; ++c)
            {
                auto& hit = candidates[(size_t) c].hit;
                if (laneBand[(size_t) hit.lane] == band && lanePriority[(size_t) hit.lane] == priority)
                {
                    hit.velocity *= 0.7f;
                    --toSoften;
                }
            }
    }

    for (int c = 0; c < count; ++c)
    {
        auto& candidate = candidates[(size_t) c];
        auto& hit = candidate.hit;
        float m = 0.0f;
        if (hit.lane != kick)
        {
            const float t = timing * p.svang * (hit.lane == bas ? 0.5f : 1.0f);
            m = std::clamp ((float) hit.nudge * 0.01f + t, -0.45f, 0.45f);
        }
        if (pendingCount.load (std::memory_order_relaxed) >= maxPending)
            break;
        hit.time = std::llround ((double) m * samplesPerSixteenth + base);
        hit.sixteenthSamples = (float) samplesPerSixteenth;
        hit.sixteenth = (std::uint32_t) j & 0x7fffffffu;
        appendPending (hit);
        if (probe.scheduled != nullptr)
            probe.scheduled (probe.context, hit, m);
    }

    if (s == 0)
        setBendTargetForBar (p, floorDiv (j, 16));
}

void Engine::setBendTargetForBar (const EngineParams& p, std::int64_t barIndex)
{
    bassBendTarget = 0.0f;
    const auto phrasePeriod = gv::saltMix (gv::hashMix (seedAll, (std::uint32_t) floorDiv (barIndex, 32)), 0xde71ce88u) % 3u;
    const bool phraseEnd = (phrasePeriod == 0 && floorMod (barIndex, 16) == 15)
                        || (phrasePeriod == 1 && floorMod (barIndex, 8) == 7)
                        || (phrasePeriod == 2 && floorMod (barIndex, 32) == 31);
    if (! phraseEnd)
        return;
    const auto h = gv::hashMix (seedAll, (std::uint32_t) barIndex);
    if (p.glid > gv::unit (gv::hashMix (h, 24852u)))
        bassBendTarget = (gv::hashMix (h, 81u) & 1u) != 0 ? 1.0f : -1.0f;
}

// After a jump the chip a ghost repeats must be the one the lane last played before the jump
// point, as if the host had played up to it; otherwise the first ghosts would differ.
void Engine::recallLastChips (const EngineParams& p, const Pattern* previousPatterns, std::int64_t firstUnplayed)
{
    const std::int64_t barStart = floorDiv (firstUnplayed - 1, 16) * 16;
    for (int lane = 0; lane < numLanes; ++lane)
    {
        if (laneIsSilent (p.lanes[(size_t) lane]))
            continue;
        int found = -1;
        for (std::int64_t j = firstUnplayed - 1; j >= barStart - 16 && found < 0; --j)
        {
            const auto& pattern = j >= barStart ? roll.lanes[(size_t) lane].currentPattern : previousPatterns[lane];
            const auto& step = pattern.steps[(size_t) stepIndex (j, p.ettanBars, pattern.length)];
            if (step.on)
                found = step.chip;
        }
        lastChip[(size_t) lane] = found;
    }
}

void Engine::appendPending (const Pending& hit)
{
    const int count = pendingCount.load (std::memory_order_relaxed);
    pending[(size_t) count] = hit;
    pendingCount.store (count + 1, std::memory_order_release);
}

} // namespace vl
