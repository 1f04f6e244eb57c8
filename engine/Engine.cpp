#include "engine/Engine.h"

#include "family/Random.h"
#include "family/Dna.h"
#include "material/Virl.h"
#include "patterns/Generate.h"

#include <algorithm>
#include <cmath>

namespace vl
{

Engine::Engine()
{
    // Ready at 48 kHz, so a host that runs a block before preparing gets a sound, not a fault.
    master.prepare (rate);
    voices.prepare (rate);
    lastChip.fill (-1);
    laneGate.fill (1.0f);
    laneGateShown.fill (1.0f);
    takeSnapshot (roll, seedAll, published);
}

void Engine::prepare (double sampleRate, int recorderMinutes)
{
    rate = sampleRate > 0.0 && std::isfinite (sampleRate) ? sampleRate : 48000.0;
    recorder.prepare (recorderMinutes, rate);
    master.prepare (rate);
    voices.prepare (rate);
    for (int i = 0; i < numLanes; ++i)
    {
        busLeft[(size_t) i].fill (0.0f);
        busRight[(size_t) i].fill (0.0f);
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

    Gens gens;
    for (size_t i = 0; i < gens.size(); ++i)
    {
        const auto& l = p.lanes[i];
        gens[i] = LaneGen { l.tathet, l.steg, l.drift, l.bakl, l.frys };
    }

    commands.drain ([&] (const Command& c) { runCommand (c, p, gens); });

    const Bank* chunkBank = bank.load (std::memory_order_acquire);
    Groove groove;
    if (p.dna == 7)
        groove = liveCustomGroove();
    else
    {
        const auto& dna = gv::dnaTable (p.dna);
        std::copy (dna.timing.begin(), dna.timing.end(), groove.begin());
        std::copy (dna.accent.begin(), dna.accent.end(), groove.begin() + 16);
        std::copy (dna.ghost.begin(), dna.ghost.end(), groove.begin() + 32);
    }
    bpm.store (tempo, std::memory_order_relaxed);
    recorder.bpm.store (tempo, std::memory_order_relaxed);

    followTransport (p, gens, groove, tempo, ppq, isPlaying, n);

    wasPlaying = isPlaying;
    playing.store (isPlaying, std::memory_order_relaxed);
    expectedPpq = ppq + n * tempo / 60.0 / rate;

    for (int i = 0; i < numLanes; ++i)
    {
        std::fill_n (busLeft[(size_t) i].data(), n, 0.0f);
        std::fill_n (busRight[(size_t) i].data(), n, 0.0f);
    }

    std::array<float*, numLanes> bl, br;
    std::array<float, numLanes> shift;
    for (size_t i = 0; i < (size_t) numLanes; ++i)
    {
        bl[i] = busLeft[i].data();
        br[i] = busRight[i].data();
        shift[i] = roll.lanes[i].currentPattern.fargShift;
    }
    renderLanes (p, chunkBank, bl.data(), br.data(), n);
    const float samplesPerSixteenth = (float) (rate * 60.0 / tempo * 0.25);
    voices.processLanes (p, shift.data(), arcLevel, laneGate.data(), laneGateShown.data(), samplesPerSixteenth,
                         meter.data(), bl.data(), br.data(), n);
    mixToOutput (p, left, right, n, isPlaying);

    sampleCounter += n;
    publishView (p, ppq, chunkBank);
    publishRoll();
}

void Engine::runCommand (const Command& command, const EngineParams&, const Gens& gens)
{
    switch (command.kind)
    {
        case NextAll: nextAll ((std::uint32_t) command.seed, gens); break;
        case NextLane: nextLane (command.lane, (std::uint32_t) command.seed, gens); break;
        case Back: back (gens); break;
        case SetBookmark: setBookmark (command.slot); break;
        case RecallBookmark: recallBookmark (command.slot, gens); break;
        case RestoreRoll: restoreRoll(); break;
        default: break;
    }
}

// Walks the chunk from hit to hit: every pending hit fires at its sample (late ones at the first),
// and the voices render the stretches in between.
void Engine::renderLanes (const EngineParams& p, const Bank* chunkBank, float* const* bl, float* const* br, int n)
{
    int pos = 0;
    while (pos < n)
    {
        const std::int64_t now = sampleCounter + pos;
        std::int64_t nextTime = sampleCounter + n;
        for (int i = 0; i < pendingCount.load (std::memory_order_relaxed);)
        {
            if (pending[(size_t) i].time <= now)
            {
                const Pending hit = pending[(size_t) i];
                const int last = pendingCount.load (std::memory_order_relaxed) - 1;
                pending[(size_t) i] = pending[(size_t) last];
                pendingCount.store (last, std::memory_order_release);
                fireHit (p, chunkBank, hit, now);
            }
            else
            {
                nextTime = std::min (nextTime, pending[(size_t) i].time);
                ++i;
            }
        }
        const int until = std::max ((int) std::min<std::int64_t> (n, nextTime - sampleCounter), pos + 1);
        voices.render (p, bassBendTarget, bl, br, pos, until);
        pos = until;
    }
}

void Engine::fireHit (const EngineParams& p, const Bank* chunkBank, const Pending& hit, std::int64_t sample)
{
    flash[(size_t) hit.lane] = 1.0f;
    voices.fire (Hit { hit.lane, hit.velocity, hit.pitch, hit.chip, hit.reverse, hit.sixteenthSamples, hit.sixteenth }, p,
                 chunkBank, midiNote.load (std::memory_order_relaxed), &recorder);
    if (probe.fired != nullptr)
        probe.fired (probe.context, hit, sample);
}

void Engine::mixToOutput (const EngineParams& p, float* left, float* right, int n, bool isPlaying)
{
    std::array<const float*, numLanes> laneLeft, laneRight;
    for (size_t i = 0; i < (size_t) numLanes; ++i)
    {
        laneLeft[i] = busLeft[i].data();
        laneRight[i] = busRight[i].data();
    }
    master.process (p, laneLeft.data(), laneRight.data(), left, right, n, &recorder, isPlaying);
}

void Engine::publishView (const EngineParams& p, double ppq, const Bank* chunkBank)
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
        for (size_t b = 0; b < v.boxCount.size(); ++b)
            v.boxCount[b] = chunkBank != nullptr ? (int) chunkBank->boxes[b].size() : 0;
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
    const int idle = 1 - liveRestoreSnapshot.load (std::memory_order_acquire);
    restoreSnapshots[(size_t) idle] = snapshot;
    liveRestoreSnapshot.store (idle, std::memory_order_release);
}

void Engine::setCustomDna (const std::array<float, 48>& values)
{
    const int idle = 1 - liveCustomDna.load (std::memory_order_acquire);
    customDna[(size_t) idle] = values;
    liveCustomDna.store (idle, std::memory_order_release);
}

} // namespace vl
