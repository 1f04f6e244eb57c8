// SKIVA: wow through a modulated delay, then crackle and hiss from one noise source.
#include "engine/Skiva.h"

#include "engine/MasterFilters.h"
#include "family/Random.h"

#include <bit>
#include <cmath>
#include <numbers>

namespace vl
{

namespace
{
// Below this the record is off: no delay, no noise.
constexpr float audibleAmount = 0.001f;

// The wow delay sits at 4 ms and swings ±0.6 ms at full SKIVA; the LFO picks a new target
// every 1/0.55 s ≈ 1.8 s and glides to it along a half cosine.
constexpr double wowCentreSeconds = 0.004;
constexpr double wowDepthSeconds = 0.0006;
constexpr double wowRateHz = 0.55;

// Crackle: 3.5e-4 × 3 impulses per sample at 48 kHz and full SKIVA, about 50 per second at any rate.
constexpr double crackleChancePerSample48k = 3.5e-4 * 3.0;
} // namespace

NoiseDraw drawNoise (std::uint32_t& random, float crackleChance)
{
    NoiseDraw draw;
    random = master::xorshift (random);
    if (crackleChance > gv::unit (random))
    {
        random = master::xorshift (random);
        const float u1 = gv::unit (random);
        random = master::xorshift (random);
        const float u2 = gv::unit (random);
        draw.impulse = (0.3f + 0.7f * u2) * (2.0f * u1 - 1.0f); // 0.3..1 in size, either sign
    }
    random = master::xorshift (random);
    draw.hiss = 2.0f * gv::unit (random) - 1.0f;
    return draw;
}

float Skiva::crackleChance (float amount, double sampleRate)
{
    return (float) (crackleChancePerSample48k * amount * 48000.0 / sampleRate);
}

void Skiva::prepare (double sampleRate)
{
    rate = sampleRate;

    // Room for the longest delay (4.6 ms) with ample margin: a power of two above 20 ms.
    const double wanted = 0.02 * sampleRate + 3.0;
    int size = 1;
    while (size < wanted)
        size *= 2;
    ringLeft.assign ((size_t) size, 0.0f);
    ringRight.assign ((size_t) size, 0.0f);
    mask = size - 1;
    writeIndex = 0;

    phase = 0.0;
    phaseIncrement = wowRateHz / sampleRate;
    wowRandom = 0x51bec68cu;
    previousTarget = std::bit_cast<float> (0xbf721780u); // -0.9457
    nextTarget = std::bit_cast<float> (0xbeb904e8u);     // -0.3614

    noiseRandom = 0x8a0f69fdu;
    crackle = 0.0f;
    hiss = 0.0f;
    crackleCoefficient = master::onePoleCoefficient (sampleRate, 3500.0);
    hissCoefficient = master::onePoleCoefficient (sampleRate, 6000.0);
}

void Skiva::process (float* left, float* right, int n, float amount)
{
    if (amount > audibleAmount)
    {
        wander (left, right, n, amount);
        addNoise (left, right, n, amount);
    }
    else
    {
        remember (left, right, n);
    }
}

void Skiva::wander (float* left, float* right, int n, float amount)
{
    float* const ringL = ringLeft.data();
    float* const ringR = ringRight.data();
    const int m = mask;
    const double size = (double) (m + 1);
    const double centre = rate * wowCentreSeconds;
    const double depth = rate * wowDepthSeconds * amount;

    // cos(π·phase) by rotation instead of a cosine per sample: exact at the chunk start, one
    // complex multiply per sample, negated when the phase wraps (cos(π·(φ − 1)) = −cos(π·φ)).
    // Over a chunk the rotation drifts by ~1e-14, far below float resolution.
    const double turn = std::numbers::pi * phaseIncrement;
    const double turnCos = std::cos (turn);
    const double turnSin = std::sin (turn);
    double c = std::cos (std::numbers::pi * phase);
    double s = std::sin (std::numbers::pi * phase);

    double ph = phase;
    float previous = previousTarget;
    float next = nextTarget;
    std::uint32_t random = wowRandom;
    int w = writeIndex;

    for (int k = 0; k < n; ++k)
    {
        ph += phaseIncrement;
        const double rotated = c * turnCos - s * turnSin;
        s = s * turnCos + c * turnSin;
        c = rotated;
        if (ph >= 1.0)
        {
            ph -= 1.0;
            c = -c;
            s = -s;
            previous = next;
            random = master::xorshift (random);
            next = 2.0f * gv::unit (random) - 1.0f;
        }

        ringL[w] = left[k];
        ringR[w] = right[k];
        w = (w + 1) & m;

        const float shape = previous + (next - previous) * (0.5f - 0.5f * (float) c);
        const double read = (double) w - (centre + depth * shape) + size; // positive: the delay is far below the ring
        const int i = (int) read;
        const float frac = (float) (read - i);
        const int i0 = i & m;
        const int i1 = (i + 1) & m;
        left[k] = ringL[i0] + (ringL[i1] - ringL[i0]) * frac;
        right[k] = ringR[i0] + (ringR[i1] - ringR[i0]) * frac;
    }

    phase = ph;
    previousTarget = previous;
    nextTarget = next;
    wowRandom = random;
    writeIndex = w;
}

void Skiva::addNoise (float* left, float* right, int n, float amount)
{
    const float chance = crackleChance (amount, rate);
    const float crackleK = crackleCoefficient;
    const float hissK = hissCoefficient;
    std::uint32_t random = noiseRandom;
    float crackleState = crackle;
    float hissState = hiss;

    for (int k = 0; k < n; ++k)
    {
        const auto draw = drawNoise (random, chance);
        hissState += (draw.hiss - hissState) * hissK;
        crackleState += (draw.impulse - crackleState) * crackleK;

        const float noise = (0.015f * hissState + 0.25f * crackleState) * amount;
        left[k] += noise;
        right[k] += noise;
    }

    noiseRandom = random;
    crackle = crackleState;
    hiss = hissState;
}

// While the record is off the rings keep filling, so turning it on delays the music of a moment
// ago instead of replaying whatever was left from the last time it was on.
void Skiva::remember (const float* left, const float* right, int n)
{
    float* const ringL = ringLeft.data();
    float* const ringR = ringRight.data();
    const int m = mask;
    int w = writeIndex;
    for (int k = 0; k < n; ++k)
    {
        ringL[w] = left[k];
        ringR[w] = right[k];
        w = (w + 1) & m;
    }
    writeIndex = w;
}

} // namespace vl
