// The bass's per-sample synthesis.
#include "engine/BassSynth.h"

#include "engine/SoftClip.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vl
{

namespace
{
constexpr float filterK = 1.1111112f; // Q 0.9: a slight bump at the cutoff

SvfCoefficients bassFilter (float bright, float envelope, double sampleRate)
{
    const double cutoff = 1600.0 * bright * bright + 120.0 + 600.0 * envelope * bright;
    return svfCoefficients (cutoff, sampleRate, filterK);
}
} // namespace

void BassSynth::prepare (double sampleRate)
{
    rate = sampleRate > 0.0 ? sampleRate : 48000.0;
    inverseRate = (float) (1.0 / rate);
    glide = (float) (1.0 - std::exp (-1.0 / (0.03 * rate)));
    bendSlow = (float) (1.0 / (0.6 * rate));
    bendReturn = (float) (1.0 / (0.04 * rate));
    envelope = 0.0f;
    active = false;
    gate = 0;
    s1 = s2 = 0.0f;
    filter = bassFilter (0.5f, 0.0f, rate);
}

void BassSynth::trigger (float hz, int gateSamples, float velocity) noexcept
{
    targetFrequency = hz;
    if (! active || envelope < 0.02f)
        frequency = hz;
    gate = gateSamples;
    level = velocity;
    active = true;
}

void BassSynth::render (float farg, float bendTarget, float* left, float* right, int n) noexcept
{
    if (! isSounding())
        return;

    const float bright = std::clamp (0.5f + 0.5f * farg, 0.0f, 1.0f);
    const float blend = 0.6f * bright;
    const float bendRate = std::fabs (bendTarget) > 0.01f ? bendSlow : bendReturn;
    constexpr float twoPi = 2.0f * std::numbers::pi_v<float>;

    float f = frequency, ph = phase, env = envelope, b = bend, ratio = bendRatio, z1 = s1, z2 = s2;
    int g = gate;
    bool on = active;
    std::uint32_t count = counter;
    SvfCoefficients c = filter;

    for (int i = 0; i < n; ++i)
    {
        if (! on && env < 1.0e-5f)
            break;

        f += (targetFrequency - f) * glide;
        b += (bendTarget - b) * bendRate;
        const bool refresh = (count & 15u) == 0;
        if (refresh)
            ratio = std::exp2 (b * (1.0f / 12.0f));

        ph += f * ratio * inverseRate;
        ph -= (float) (int) ph; // wrap into [0, 1)

        if (g < 1)
        {
            on = false;
            env *= 0.9992f;
        }
        else
        {
            --g;
            env += (1.0f - env) * 0.02f;
        }

        const float s = std::sin (twoPi * ph);
        const float triangle = 4.0f * std::fabs (ph - 0.5f) - 1.0f;
        const float o = s + blend * (triangle - s);

        if (refresh)
            c = bassFilter (bright, env, rate);

        const float x = o + bright * (0.25f * softClip (3.0f * o));
        float low;
        svfStep (c, z1, z2, x, low);

        const float value = env * level * softClip (1.4f * low) * (1.0f / 1.12f);
        left[i] += value;
        right[i] += value;
        ++count;
    }

    frequency = f;
    phase = ph;
    envelope = env;
    bend = b;
    bendRatio = ratio;
    s1 = z1;
    s2 = z2;
    gate = g;
    active = on;
    counter = count;
    filter = c;
}

} // namespace vl
