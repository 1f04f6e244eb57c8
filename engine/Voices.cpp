// Hit firing, the render of all voices and the per-lane channels.
#include "engine/Voices.h"

#include "family/GuldRecorder.h"
#include "family/Random.h"
#include "material/Virl.h"
#include "patterns/Scales.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

namespace vl
{

namespace
{
// Half away from zero; values far outside any note, length or sample count are held at ±2^30
// first, so a wild parameter cannot overflow the conversion.
int nearestInt (double x) noexcept
{
    constexpr double limit = 1073741824.0;
    x = x >= -limit ? x : -limit; // also catches NaN
    x = x <= limit ? x : limit;
    return (int) std::lround (x);
}

int truncated (double x) noexcept
{
    constexpr double limit = 1073741824.0;
    x = x >= -limit ? x : -limit;
    x = x <= limit ? x : limit;
    return (int) x;
}

void logHit (gv::GuldRecorder* recorder, int lane, int note, int velocity, int length) noexcept
{
    if (recorder != nullptr)
        recorder->addEvent (lane, std::clamp (note, 0, 127), velocity, std::clamp (length, 1, 64));
}

// The voice a new hit takes: the first idle one, else the oldest (the lower slot on a tie).
ChipVoice& freeVoice (std::array<ChipVoice, voicesPerLane>& pool) noexcept
{
    for (auto& v : pool)
        if (! v.active)
            return v;
    auto* oldest = &pool[0];
    for (auto& v : pool)
        if (v.age > oldest->age)
            oldest = &v;
    return *oldest;
}
} // namespace

int playingKey (const EngineParams& p, int midiNote) noexcept
{
    return p.foljMidi && midiNote >= 0 ? midiNote % 12 : p.tonart;
}

void Voices::prepare (double rate)
{
    sampleRate = rate > 0.0 ? rate : 48000.0;
    kick.prepare (sampleRate);
    bass.prepare (sampleRate);
    for (auto& pool : chipVoices)
        pool.fill (ChipVoice {});
    channels.prepare (sampleRate);
    startedThisChunk.fill (false);
}

bool Voices::fire (const Hit& hit, const EngineParams& p, const Bank* bank, int midiNote,
                   gv::GuldRecorder* recorder) noexcept
{
    if (hit.lane < 0 || hit.lane >= numLanes)
        return false;

    const int velocity = std::clamp (truncated (hit.velocity * 127.0f), 1, 127);
    const int key = playingKey (p, midiNote);

    if (hit.lane == Lane::kick)
    {
        kick.trigger (hit.velocity);
        logHit (recorder, Lane::kick, 36, velocity, 1);
        return true;
    }

    if (hit.lane == Lane::bas)
    {
        const auto& lane = p.lanes[Lane::bas];
        const double note = lane.ton + key + 33 + snapToScale (hit.pitch, p.skala);
        const double hz = 440.0 * std::exp2 ((note - 69.0) / 12.0);
        const double sixteenths = 3.25 * lane.langd + 0.25;
        bass.trigger ((float) hz, std::max (0, truncated (sixteenths * hit.sixteenthSamples)), hit.velocity);
        logHit (recorder, Lane::bas, nearestInt (note), velocity, nearestInt (sixteenths));
        return true;
    }

    return bank != nullptr && fireChip (hit, p, *bank, key, velocity, recorder);
}

bool Voices::fireChip (const Hit& hit, const EngineParams& p, const Bank& bank, int key, int velocity,
                       gv::GuldRecorder* recorder) noexcept
{
    const auto& lane = p.lanes[(size_t) hit.lane];

    // The lane's own box unless `lada` picks another; SPÖKE's empty ghost box plays BRUS.
    const int box = playableBox (bank, lane.lada >= 0 ? lane.lada : hit.lane - firstChipLane);
    if (box < 0)
        return false;
    const auto& chips = bank.boxes[(size_t) box];
    const Virl* chip = chips[(size_t) hit.chip % chips.size()].get(); // raw: no reference count on this thread
    if (chip == nullptr || ! (chip->sampleRate > 0.0f))
        return false;

    double semitones;
    int note;
    if (hit.lane == Lane::ton)
    {
        const int degree = snapToScale (hit.pitch, p.skala);
        const int target = key + 60 + degree;
        if (chip->pitch > 0.0f)
        {
            // Move the chip to the octave of the target's pitch class nearest its own pitch.
            const double distance = target - (double) chip->pitch;
            semitones = distance - 12.0 * nearestInt (distance / 12.0) + lane.ton;
        }
        else
            semitones = lane.ton + degree;
        note = nearestInt (target + lane.ton);
    }
    else
    {
        semitones = lane.ton + hit.pitch;
        note = laneNote[(size_t) hit.lane] + nearestInt (lane.ton + hit.pitch);
    }

    const double octaves = std::clamp (semitones / 12.0, -3.0, 3.0);
    const double rate = std::exp2 (octaves) * chip->sampleRate / sampleRate;
    const double framesPlayed = truncated (chip->frames() / rate);
    const int length = std::max (64, truncated (framesPlayed * (0.92 * lane.langd + 0.08)));

    // Spread: each sixteenth and lane lands at its own place, `pan` wide around the centre.
    const auto h = gv::saltMix (gv::hashMix (hit.sixteenth, (std::uint32_t) hit.lane), 0x65211236u);
    const float place = std::clamp (0.5f + (gv::unit (h) - 0.5f) * lane.pan, 0.0f, 1.0f);
    const float angle = place * std::numbers::pi_v<float> * 0.5f;

    const int slot = hit.lane - firstChipLane;
    freeVoice (chipVoices[(size_t) slot])
        .start (*chip, rate, hit.reverse, hit.velocity, std::cos (angle), std::sin (angle), length);
    startedThisChunk[(size_t) slot] = true;
    logHit (recorder, hit.lane, note, velocity, 1);
    return true;
}

void Voices::render (const EngineParams& p, float bassBendTarget, float* const* busLeft, float* const* busRight,
                     int from, int to) noexcept
{
    const int n = to - from;
    if (n <= 0)
        return;
    kick.render (p, busLeft[Lane::kick] + from, busRight[Lane::kick] + from, n);
    bass.render (p.lanes[Lane::bas].farg, bassBendTarget, busLeft[Lane::bas] + from, busRight[Lane::bas] + from, n);
    for (int slot = 0; slot < numChipLanes; ++slot)
    {
        float* left = busLeft[firstChipLane + slot] + from;
        float* right = busRight[firstChipLane + slot] + from;
        for (auto& v : chipVoices[(size_t) slot])
            v.render (left, right, n);
    }
}

bool Voices::laneSounding (int lane) const noexcept
{
    if (lane < firstChipLane || lane >= numLanes)
        return false;
    const auto& pool = chipVoices[(size_t) (lane - firstChipLane)];
    return std::any_of (pool.begin(), pool.end(), [] (const ChipVoice& v) { return v.active; });
}

void Voices::processLanes (const EngineParams& p, const float* fargShift, float arcLevel, const float* laneGate,
                           float* laneGateShown, float samplesPerSixteenth, float* meters, float* const* busLeft,
                           float* const* busRight, int n) noexcept
{
    // The shown gate's time constant is 8 sixteenths: a rest fades in or out over half a bar.
    const float gateStep =
        samplesPerSixteenth > 0.0f ? (float) (1.0 - std::exp (-1.0 / (8.0 * samplesPerSixteenth))) : 1.0f;
    const float brightness = 0.12f + 0.88f * arcLevel;

    for (int lane = 0; lane < numLanes; ++lane)
    {
        const auto& params = p.lanes[(size_t) lane];
        channels.setLevel (lane, params.niva, laneGate[lane]);
        if (lane < firstChipLane)
            continue;
        const int slot = lane - firstChipLane;
        const bool sounding = startedThisChunk[(size_t) slot] || laneSounding (lane);
        startedThisChunk[(size_t) slot] = false;
        if (channels.wakes (lane, sounding, n))
        {
            channels.setColour (lane, std::clamp (fargShift[lane] + params.farg, -1.0f, 1.0f), brightness);
            channels.setAge (lane, params.alder >= 0 ? params.alder : p.alder);
        }
    }
    channels.process (busLeft, busRight, n, gateStep, laneGateShown, meters);
}

} // namespace vl
