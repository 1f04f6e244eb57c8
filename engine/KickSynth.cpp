// The kick's per-sample synthesis.
#include "engine/KickSynth.h"

#include "engine/SoftClip.h"
#include "family/Random.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vl
{

namespace
{
float decayFactor (double seconds, double sampleRate)
{
    return (float) std::exp (-1.0 / (seconds * sampleRate));
}
} // namespace

void KickSynth::prepare (double sampleRate)
{
    rate = sampleRate > 0.0 ? sampleRate : 48000.0;
    inverseRate = (float) (1.0 / rate);
    silentAfter = (std::int64_t) std::floor (3.0 * rate);
    elapsed = silentAfter + 1;
    pitchFastDecay = decayFactor (0.011, rate);
    pitchSlowDecay = decayFactor (0.045, rate);
    clickDecay = decayFactor (0.0025, rate);
    attackSlope = (float) (1.0 / (0.0006 * rate));
    // The click keeps what lies above 1800 Hz (or just below Nyquist at low rates).
    noiseCoefficient = (float) (1.0 - std::exp (-2.0 * std::numbers::pi * std::min (0.49 * rate, 1800.0) / rate));
}

void KickSynth::trigger (float velocity) noexcept
{
    amplitude = 1.0f;
    elapsed = 0;
    level = velocity;
    phase = 0.0f;
    pitchFast = pitchSlow = 1.0f;
    click = 1.0f;
}

void KickSynth::render (const EngineParams& p, float* left, float* right, int n) noexcept
{
    if (elapsed > silentAfter)
        return;

    const float drive = 2.5f * p.kDriv + 1.0f;
    const float makeUp = level / (0.9f * p.kDriv + 1.0f);
    const float clickGain = p.kKlick * 0.6f;
    const float hzToStep = p.kTon * inverseRate;
    const double decaySeconds = 0.5 * p.kLangd + 0.06;

    std::int64_t t = elapsed;
    float ph = phase, e1 = pitchFast, e2 = pitchSlow, ce = click, amp = amplitude, a = amplitudeDecay;
    float low = noiseLow;
    std::uint32_t state = noise;

    for (int i = 0; i < n; ++i)
    {
        if (t > silentAfter)
            break;

        ce *= clickDecay;
        ph += hzToStep * (1.0f + 3.2f * e1 + 0.6f * e2);
        ph -= (float) (int) ph; // wrap into [0, 1): the phase never goes negative
        e1 *= pitchFastDecay;
        e2 *= pitchSlowDecay;

        if ((t & 31) == 0)
            a = decayFactor (decaySeconds, rate);
        amp *= a;
        const float attack = (float) t * attackSlope;
        const float envelope = attack < 1.0f ? amp * attack : amp;

        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        const float white = 2.0f * gv::unit (state) - 1.0f;
        low += (white - low) * noiseCoefficient;
        const float clickNoise = white - low;

        // Parabolic sine of the phase: 4/π·x − 4/π²·x·|x|, then the 0.225 correction.
        const float x = 2.0f * std::numbers::pi_v<float> * (ph < 0.5f ? ph : ph - 1.0f);
        float y = 1.2732395f * x - 0.40528473f * x * std::fabs (x);
        y = 0.225f * (y * std::fabs (y) - y) + y;

        const float v = (clickNoise * clickGain * ce + y * envelope) * drive;
        const float value = makeUp * softClip (v);
        left[i] += value;
        right[i] += value;
        ++t;
    }

    elapsed = t;
    phase = ph;
    pitchFast = e1;
    pitchSlow = e2;
    click = ce;
    amplitude = amp;
    amplitudeDecay = a;
    noiseLow = low;
    noise = state;
}

} // namespace vl
