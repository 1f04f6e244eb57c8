// The master chain in order: duck and sum, SKIVA, BAND, mono bass, UT, ceiling, recorder.
// Each stage runs over the whole chunk with its state in locals; no stage feeds back into an
// earlier one, so this gives the same samples as running the stages sample by sample.
#include "engine/Master.h"

#include "engine/MasterFilters.h"
#include "family/GuldRecorder.h"

#include <algorithm>
#include <cmath>

namespace vl
{

namespace
{
// NaN becomes lo, so a broken parameter can only turn an effect off.
inline float inRange (float x, float lo, float hi) { return x >= lo ? (x <= hi ? x : hi) : lo; }

// Holds a bus sample within ±limit; NaN becomes silence.
inline float tame (float x)
{
    if (x > Duck::busLimit) return Duck::busLimit;
    if (x >= -Duck::busLimit) return x;
    return x < -Duck::busLimit ? -Duck::busLimit : 0.0f;
}

// 120 Hz with k = √2 (Butterworth): two in series split the signal into Linkwitz-Riley halves.
constexpr double monoBelowHz = 120.0;

struct LowHigh
{
    float low, high;
};

// Low-pass and high-pass outputs of one state-variable filter step.
inline LowHigh split (const SvfCoefficients& c, float& s1, float& s2, float x)
{
    float low = 0.0f;
    const float band = svfStep (c, s1, s2, x, low);
    return { low, x - c.k * band - low };
}
constexpr float butterworthDamping = 1.4142135f;

// +6 dB, the top of the `ut` range, rounded up.
constexpr float utGainMax = 2.0f;
} // namespace

void Duck::prepare (double sampleRate)
{
    level = 0.0f;
    attack = master::smoothingCoefficient (sampleRate, 0.0005);
    release = master::smoothingCoefficient (sampleRate, 0.14);
}

void Duck::process (const float* const* laneLeft, const float* const* laneRight, float* left, float* right, int n)
{
    // The six chip lanes first, a plain sum the compiler can vectorise.
    std::copy_n (laneLeft[firstChipLane], n, left);
    std::copy_n (laneRight[firstChipLane], n, right);
    for (int lane = firstChipLane + 1; lane < laneCount; ++lane)
    {
        const float* const l = laneLeft[lane];
        const float* const r = laneRight[lane];
        for (int k = 0; k < n; ++k)
        {
            left[k] += l[k];
            right[k] += r[k];
        }
    }

    const float* const kickL = laneLeft[kickLane];
    const float* const kickR = laneRight[kickLane];
    const float* const bassL = laneLeft[bassLane];
    const float* const bassR = laneRight[bassLane];
    const float up = attack;
    const float down = release;
    float follower = level;

    for (int k = 0; k < n; ++k)
    {
        const float m = tame (std::fabs (kickL[k]));
        follower += (m - follower) * (m > follower ? up : down);

        // Depth 2.2·level: full duck once the kick's follower passes 1/2.2.
        const float d = 2.2f * follower;
        const float bassFactor = d > 1.0f ? 0.2f : 1.0f - 0.8f * d;
        const float chipFactor = d > 1.0f ? 0.78f : 1.0f - 0.22f * d;
        left[k] = tame (kickL[k] + bassFactor * bassL[k] + chipFactor * left[k]);
        right[k] = tame (kickR[k] + bassFactor * bassR[k] + chipFactor * right[k]);
    }

    level = follower;
}

void MonoBass::prepare (double sampleRate)
{
    crossover = svfCoefficients (monoBelowHz, sampleRate, butterworthDamping);
    firstLeft = firstRight = highLeft = highRight = lowLeft = lowRight = {};
}

void MonoBass::process (float* left, float* right, int n)
{
    const SvfCoefficients c = crossover;
    auto fl = firstLeft, fr = firstRight, hl = highLeft, hr = highRight, ll = lowLeft, lr = lowRight;

    for (int k = 0; k < n; ++k)
    {
        const auto l1 = split (c, fl.s1, fl.s2, left[k]);
        const auto r1 = split (c, fr.s1, fr.s2, right[k]);
        const float highL = split (c, hl.s1, hl.s2, l1.high).high;
        const float highR = split (c, hr.s1, hr.s2, r1.high).high;
        const float low = 0.5f * (split (c, ll.s1, ll.s2, l1.low).low + split (c, lr.s1, lr.s2, r1.low).low);
        left[k] = highL + low;
        right[k] = highR + low;
    }

    firstLeft = fl;
    firstRight = fr;
    highLeft = hl;
    highRight = hr;
    lowLeft = ll;
    lowRight = lr;
}

void MasterChain::prepare (double sampleRate)
{
    if (! (sampleRate > 0.0 && std::isfinite (sampleRate)))
        sampleRate = 48000.0;
    duck.prepare (sampleRate);
    skiva.prepare (sampleRate);
    band.prepare (sampleRate);
    monoBass.prepare (sampleRate);
    ceiling.prepare (sampleRate);
    prepared = true;
}

void MasterChain::process (const EngineParams& p, const float* const* laneLeft, const float* const* laneRight,
                           float* outLeft, float* outRight, int n, gv::GuldRecorder* recorder, bool playing)
{
    if (n <= 0)
        return;
    if (! prepared)
    {
        std::fill_n (outLeft, n, 0.0f);
        std::fill_n (outRight, n, 0.0f);
        return;
    }

    duck.process (laneLeft, laneRight, outLeft, outRight, n);
    skiva.process (outLeft, outRight, n, inRange (p.skiva, 0.0f, 1.0f));
    band.process (outLeft, outRight, n, inRange (p.band, 0.0f, 1.0f));
    monoBass.process (outLeft, outRight, n);

    const float ut = inRange (p.utGain, 0.0f, utGainMax);
    for (int k = 0; k < n; ++k)
    {
        outLeft[k] *= ut;
        outRight[k] *= ut;
    }

    ceiling.process (outLeft, outRight, n);

    if (recorder != nullptr)
        for (int k = 0; k < n; ++k)
            recorder->record (outLeft[k], outRight[k], playing);
}

} // namespace vl
