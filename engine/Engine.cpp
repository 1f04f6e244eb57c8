#include "engine/Engine.h"

#include "family/Random.h"
#include "patterns/Generate.h"

#include <algorithm>
#include <cmath>

namespace vl
{

Engine::Engine()
{
    lastChip.fill (-1);
    laneGate.fill (1.0f);
    laneGateShown.fill (1.0f);
    takeSnapshot (roll, seedAll, published);
}

void Engine::prepare (double sampleRate, int recorderMinutes)
{
    juce::ignoreUnused (recorderMinutes); // the recorder is sized here once it exists
    rate = sampleRate > 0.0 ? sampleRate : 48000.0;
    for (int i = 0; i < numLanes; ++i)
    {
        busLeft[(size_t) i].assign (maxChunk, 0.0f);
        busRight[(size_t) i].assign (maxChunk, 0.0f);
    }
    resync = true;
    pendingCount.store (0, std::memory_order_release);

    if (! prepared)
    {
        const LaneGen startGen {}; // tathet 0.5, AUTO steps, drift 0.3, no reverse, not frozen
        for (int lane = 0; lane < numLanes; ++lane)
        {
            const auto seed = gv::hashMix (seedAll, (std::uint32_t) lane);
            roll.setBase (lane, generate (lane, startGen, seed), seed, 0);
        }
        lastMutBar = -1;
        prepared = true;
        takeSnapshot (roll, seedAll, published);
    }
}

void Engine::processChunk (const EngineParams& p, double tempo, double ppq, bool isPlaying, float* left,
                           float* right, int n)
{
    n = std::clamp (n, 0, maxChunk);

    std::array<LaneGen, numLanes> gens;
    for (size_t i = 0; i < gens.size(); ++i)
    {
        const auto& l = p.lanes[i];
        gens[i] = LaneGen { l.tathet, l.steg, l.drift, l.bakl, l.frys };
    }

    commands.drain ([&] (const Command& c) { runCommand (c, p, gens); });

    bpm.store (tempo, std::memory_order_relaxed);

    followTransport (p, tempo, ppq, isPlaying, n);

    wasPlaying = isPlaying;
    playing.store (isPlaying, std::memory_order_relaxed);
    expectedPpq = ppq + n * tempo / 60.0 / rate;

    for (int i = 0; i < numLanes; ++i)
    {
        std::fill_n (busLeft[(size_t) i].data(), n, 0.0f);
        std::fill_n (busRight[(size_t) i].data(), n, 0.0f);
    }

    renderLanes (p, n);
    mixToOutput (p, left, right, n);

    sampleCounter += n;
    publishView (p, ppq);
    publishRoll();
}

void Engine::runCommand (const Command& command, const EngineParams& p, const std::array<LaneGen, numLanes>& gens)
{
    juce::ignoreUnused (p, gens);
    switch (command.kind)
    {
        case RestoreRoll: restoreRoll(); break;
        default: break; // variants, history and bookmarks arrive with the composition stage
    }
}

void Engine::restoreRoll()
{
    for (int i = 0; i < numLanes; ++i)
    {
        const auto& saved = restoreSnapshot.lanes[i];
        roll.setBase (i, saved.basePattern, saved.seed, saved.baseBar);
    }
    seedAll = restoreSnapshot.seedAll;
    lastMutBar = -1;
    resync = true;
}

void Engine::followTransport (const EngineParams& p, double tempo, double ppq, bool isPlaying, int n)
{
    // Scheduling sixteenths onto the lanes comes with the composition stage; until then the
    // transport only has to stop cleanly.
    juce::ignoreUnused (p, tempo, ppq, n);
    if (! isPlaying && wasPlaying)
        pendingCount.store (0, std::memory_order_release);
}

void Engine::renderLanes (const EngineParams& p, int n)
{
    // Voices fill the lane buses once the sound stage exists; the buses stay silent until then.
    juce::ignoreUnused (p, n);
}

void Engine::mixToOutput (const EngineParams& p, float* left, float* right, int n)
{
    // The master chain replaces this plain silence.
    juce::ignoreUnused (p);
    std::fill_n (left, n, 0.0f);
    std::fill_n (right, n, 0.0f);
}

void Engine::publishView (const EngineParams& p, double ppq)
{
    for (auto& f : flash)
        f *= 0.85f;

    const double position16 = ppq * 4.0;
    const int ettan = p.ettanBars;
    double restart = 0.0;
    if (ettan > 0)
    {
        const double cycle = ettan * 16.0;
        restart = std::floor (position16 / cycle) * cycle;
    }

    view.publish ([&] (View& v) {
        for (int i = 0; i < numLanes; ++i)
        {
            const auto& pattern = roll.lanes[(size_t) i].currentPattern;
            const double len = std::max (1, pattern.length);
            v.patterns[(size_t) i] = pattern;
            v.step[(size_t) i] = (float) std::fmod (std::fmod (position16 - restart, len) + len, len);
        }
        v.meter = meter;
        v.gate = laneGateShown;
        v.flash = flash;
        v.arcLevel = arcLevel;
        v.position16 = (float) position16;
        v.bar = bar.load (std::memory_order_relaxed);
        v.historyCount = historyCount;
        v.boxCount = {};
        v.playing = playing.load (std::memory_order_relaxed);
    });
}

void Engine::publishRoll()
{
    if (snapLock.tryEnter())
    {
        takeSnapshot (roll, seedAll, published);
        snapLock.exit();
    }
}

RollSnapshot Engine::publishedRoll() const
{
    const juce::SpinLock::ScopedLockType lock (snapLock);
    return published;
}

void Engine::setRestoreSnapshot (const RollSnapshot& snapshot)
{
    restoreSnapshot = snapshot;
}

void Engine::setCustomDna (const std::array<float, 48>& values)
{
    const int idle = 1 - liveCustomDna.load (std::memory_order_acquire);
    customDna[(size_t) idle] = values;
    liveCustomDna.store (idle, std::memory_order_release);
}

} // namespace vl
