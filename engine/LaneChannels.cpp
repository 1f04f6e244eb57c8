// The lane channels' per-chunk setup and their side-by-side sample loop.
#include "engine/LaneChannels.h"

#include "engine/Float4.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vl
{

namespace
{
constexpr float colourK = 1.4285715f; // Q 0.7: flat, no bump at the colour filters' cutoffs

struct AgeSettings
{
    double holdHz; // rate of the sample-and-hold clock
    double postHz; // one-pole after the quantiser
    double preHz;  // one-pole before the hold
    float steps;   // quantiser steps per unit: 2048 for 12 bits over ±1, 4096 for VARM
    float clipDrive, clipGain; // saturation after quantising; drive 0 = none
};

// NY plays untouched; the others imitate old samplers: their clock, their converter's
// resolution and the filters around it. GRUS and VARM also saturate after quantising.
constexpr AgeSettings ages[numAges] {
    { 0.0, 20000.0, 20000.0, 1.0f, 0.0f, 1.0f },         // NY
    { 31250.0, 13000.0, 14000.0, 2048.0f, 0.0f, 1.0f },  // MJUK 12
    { 26040.0, 20000.0, 20000.0, 2048.0f, 1.1f, 1.0f },  // GRUS 12
    { 40000.0, 11000.0, 20000.0, 4096.0f, 1.25f, 0.85f }, // VARM
};

float onePole (double hz, double sampleRate)
{
    return (float) (1.0 - std::exp (-2.0 * std::numbers::pi * std::min (hz, 0.49 * sampleRate) / sampleRate));
}

struct Svf4
{
    Float4 a1, a2, a3;
};

// The trapezoidal step of svfStep, four chains at once.
inline Float4 svf4 (const Svf4& c, Float4& s1, Float4& s2, Float4 x, Float4& low) noexcept
{
    const Float4 e = x - s2;
    const Float4 band = c.a1 * s1 + c.a2 * e;
    low = s2 + c.a2 * s1 + c.a3 * e;
    s1 = 2.0f * band - s1;
    s2 = 2.0f * low - s2;
    return band;
}
} // namespace

float nearestWhole (float x) noexcept
{
    return nearest4 (splat (x))[0];
}

void LaneChannels::prepare (double sampleRate)
{
    rate = sampleRate > 0.0 ? sampleRate : 48000.0;
    meterAttack = (float) (1.0 - std::exp (-1.0 / (0.001 * rate)));
    meterRelease = (float) (1.0 - std::exp (-1.0 / (0.12 * rate)));
    settings = {};
    state = {};
    idleCountdown.fill (0);
    for (int lane = 0; lane < numLanes; ++lane)
    {
        const bool chipLane = lane >= Lane::klick;
        awake[(size_t) lane] = ! chipLane;
        settings.coloured[lane] = chipLane ? -1 : 0;
        lastColour[(size_t) lane] = 2.0f; // outside −1..1: the next setColour computes
        setColour (lane, 0.0f, 1.0f);
        mode[(size_t) lane] = -1;
        setAge (lane, 0);
        setLevel (lane, 0.0f, 1.0f);
    }
}

bool LaneChannels::wakes (int lane, bool sounding, int n) noexcept
{
    auto& countdown = idleCountdown[(size_t) lane];
    if (sounding)
        countdown = (int) (0.3 * rate);
    else
        countdown -= n;
    awake[(size_t) lane] = countdown > 0;
    return awake[(size_t) lane];
}

void LaneChannels::setColour (int lane, float colour, float brightness) noexcept
{
    if (colour == lastColour[(size_t) lane] && brightness == lastBrightness[(size_t) lane])
        return;
    lastColour[(size_t) lane] = colour;
    lastBrightness[(size_t) lane] = brightness;
    // Dark colours pull the low-pass down to 800 Hz (0.04 of 20 kHz), thin ones push the
    // high-pass up to 1980 Hz (18 times 110 Hz); the arc darkens everything by brightness².
    const double top = colour < 0.0f ? 20000.0 * std::pow (0.04, -colour) : 20000.0;
    const double lowCut = std::clamp (top * brightness * brightness, 300.0, 0.45 * rate);
    const double highCut = colour > 0.0f ? 110.0 * std::pow (18.0, colour) : 110.0;
    const auto low = svfCoefficients (lowCut, rate, colourK);
    const auto high = svfCoefficients (highCut, rate, colourK);
    settings.lowA1[lane] = low.a1;
    settings.lowA2[lane] = low.a2;
    settings.lowA3[lane] = low.a3;
    settings.highA1[lane] = high.a1;
    settings.highA2[lane] = high.a2;
    settings.highA3[lane] = high.a3;
    settings.highK[lane] = high.k;
}

void LaneChannels::setAge (int lane, int newMode) noexcept
{
    newMode = std::clamp (newMode, 0, numAges - 1);
    if (newMode == mode[(size_t) lane])
        return;
    mode[(size_t) lane] = newMode;
    const auto& a = ages[newMode];
    settings.holdRate[lane] = newMode == 0 ? 1.0f : (float) std::min (1.0, a.holdHz / rate);
    settings.pre[lane] = onePole (a.preHz, rate);
    settings.post[lane] = onePole (a.postHz, rate);
    settings.steps[lane] = a.steps;
    settings.clipDrive[lane] = a.clipDrive;
    settings.clipGain[lane] = a.clipGain;
    settings.aged[lane] = newMode > 0 ? -1 : 0;
    settings.clipped[lane] = a.clipDrive > 0.0f ? -1 : 0;
}

void LaneChannels::setLevel (int lane, float niva, float gate) noexcept
{
    settings.scale[lane] = niva * niva * 0.9f;
    settings.gate[lane] = gate;
}

namespace
{
// One quad of lanes (0..3 or 4..7), both sides, over the interleaved frames. `colour`: some
// lane of the quad is filtered; `aged`: some lane of the quad has a sampler colour. Lanes that
// should not have run get their state back afterwards, so running them costs only time.
template <bool colour, bool aged>
void runQuad (int quad, float (*frames)[16], int n, float gateStep, const auto& s, auto& st, float* shown,
              float* peak, float attack, float release) noexcept
{
    const int lane = 4 * quad;  // first lane of the quad
    const int left = lane;      // its chains: left side
    const int right = 8 + lane; //             right side

    const Svf4 lowPass { load4 (s.lowA1 + lane), load4 (s.lowA2 + lane), load4 (s.lowA3 + lane) };
    const Svf4 highPass { load4 (s.highA1 + lane), load4 (s.highA2 + lane), load4 (s.highA3 + lane) };
    const Float4 highK = load4 (s.highK + lane);
    const Float4 holdRate = load4 (s.holdRate + lane), preC = load4 (s.pre + lane), postC = load4 (s.post + lane);
    const Float4 steps = load4 (s.steps + lane), stepSize = 1.0f / steps, clipDrive = load4 (s.clipDrive + lane);
    const Float4 clipGain = load4 (s.clipGain + lane);
    Mask4 coloured, isAged, clipped;
    std::memcpy (&coloured, s.coloured + lane, sizeof coloured);
    std::memcpy (&isAged, s.aged + lane, sizeof isAged);
    std::memcpy (&clipped, s.clipped + lane, sizeof clipped);
    const Float4 scale = load4 (s.scale + lane), gate = load4 (s.gate + lane);
    const Float4 step = splat (gateStep);

    Float4 lowL1 = load4 (st.low1 + left), lowL2 = load4 (st.low2 + left);
    Float4 lowR1 = load4 (st.low1 + right), lowR2 = load4 (st.low2 + right);
    Float4 highL1 = load4 (st.high1 + left), highL2 = load4 (st.high2 + left);
    Float4 highR1 = load4 (st.high1 + right), highR2 = load4 (st.high2 + right);
    Float4 preL = load4 (st.pre + left), preR = load4 (st.pre + right);
    Float4 postL = load4 (st.post + left), postR = load4 (st.post + right);
    Float4 holdL = load4 (st.hold + left), holdR = load4 (st.hold + right);
    Float4 phase = load4 (st.phase + lane);
    Float4 shownGate = load4 (shown + lane), meter = load4 (st.meter + lane);
    Float4 loudest = splat (0.0f);

    for (int k = 0; k < n; ++k)
    {
        Float4 xL = load4 (frames[k] + left);
        Float4 xR = load4 (frames[k] + right);

        if constexpr (colour)
        {
            Float4 lowL, lowR, restL, restR;
            svf4 (lowPass, lowL1, lowL2, xL, lowL);
            svf4 (lowPass, lowR1, lowR2, xR, lowR);
            const Float4 bandL = svf4 (highPass, highL1, highL2, lowL, restL);
            const Float4 bandR = svf4 (highPass, highR1, highR2, lowR, restR);
            xL = select (coloured, lowL - highK * bandL - restL, xL);
            xR = select (coloured, lowR - highK * bandR - restR, xR);
        }

        if constexpr (aged)
        {
            preL += (xL - preL) * preC;
            preR += (xR - preR) * preC;
            phase += holdRate;
            const Mask4 wrap = phase >= 1.0f;
            holdL = select (wrap, preL, holdL);
            holdR = select (wrap, preR, holdR);
            phase = select (wrap, phase - 1.0f, phase);
            // steps is a power of two, so multiplying by its inverse divides exactly.
            const Float4 qL = nearest4 (holdL * steps) * stepSize;
            const Float4 qR = nearest4 (holdR * steps) * stepSize;
            const Float4 shapedL = select (clipped, clipGain * softClip4 (clipDrive * qL), qL);
            const Float4 shapedR = select (clipped, clipGain * softClip4 (clipDrive * qR), qR);
            postL += (shapedL - postL) * postC;
            postR += (shapedR - postR) * postC;
            xL = select (isAged, postL, xL);
            xR = select (isAged, postR, xR);
        }

        shownGate += (gate - shownGate) * step;
        const Float4 gain = scale * shownGate;
        xL *= gain;
        xR *= gain;
        store4 (frames[k] + left, xL);
        store4 (frames[k] + right, xR);

        const Float4 m = max4 (abs4 (xL), abs4 (xR));
        meter += (m - meter) * (m > meter ? splat (attack) : splat (release));
        loudest = max4 (loudest, meter);
    }

    store4 (st.low1 + left, lowL1), store4 (st.low2 + left, lowL2);
    store4 (st.low1 + right, lowR1), store4 (st.low2 + right, lowR2);
    store4 (st.high1 + left, highL1), store4 (st.high2 + left, highL2);
    store4 (st.high1 + right, highR1), store4 (st.high2 + right, highR2);
    store4 (st.pre + left, preL), store4 (st.pre + right, preR);
    store4 (st.post + left, postL), store4 (st.post + right, postR);
    store4 (st.hold + left, holdL), store4 (st.hold + right, holdR);
    store4 (st.phase + lane, phase);
    store4 (shown + lane, shownGate);
    store4 (st.meter + lane, meter);
    store4 (peak + lane, loudest);
}
} // namespace

void LaneChannels::process (float* const* busLeft, float* const* busRight, int n, float gateStep, float* shown,
                            float* meters) noexcept
{
    n = std::clamp (n, 0, maxFrames);
    if (n == 0)
        return;

    for (int lane = 0; lane < numLanes; ++lane)
    {
        const bool on = awake[(size_t) lane];
        for (int k = 0; k < n; ++k)
        {
            frames[k][lane] = on ? busLeft[lane][k] : 0.0f;
            frames[k][8 + lane] = on ? busRight[lane][k] : 0.0f;
        }
    }

    const State before = state;
    alignas (16) float shownAll[numLanes], peak[numLanes];
    std::copy_n (shown, numLanes, shownAll);

    for (int quad = 0; quad < 2; ++quad)
    {
        bool colour = false, aged = false;
        for (int lane = 4 * quad; lane < 4 * quad + 4; ++lane)
        {
            colour = colour || (awake[(size_t) lane] && settings.coloured[lane] != 0);
            aged = aged || (awake[(size_t) lane] && settings.coloured[lane] != 0 && settings.aged[lane] != 0);
        }
        if (aged)
            runQuad<true, true> (quad, frames, n, gateStep, settings, state, shownAll, peak, meterAttack, meterRelease);
        else if (colour)
            runQuad<true, false> (quad, frames, n, gateStep, settings, state, shownAll, peak, meterAttack, meterRelease);
        else
            runQuad<false, false> (quad, frames, n, gateStep, settings, state, shownAll, peak, meterAttack, meterRelease);
    }

    // Stages that should not have run on a lane hand its state back.
    for (int chain = 0; chain < 16; ++chain)
    {
        const int lane = chain & 7;
        const bool on = awake[(size_t) lane];
        if (! on || settings.coloured[lane] == 0)
        {
            state.low1[chain] = before.low1[chain], state.low2[chain] = before.low2[chain];
            state.high1[chain] = before.high1[chain], state.high2[chain] = before.high2[chain];
        }
        if (! on || settings.coloured[lane] == 0 || settings.aged[lane] == 0)
        {
            state.pre[chain] = before.pre[chain], state.post[chain] = before.post[chain];
            state.hold[chain] = before.hold[chain];
            state.phase[lane] = before.phase[lane];
        }
    }

    for (int lane = 0; lane < numLanes; ++lane)
    {
        if (! awake[(size_t) lane])
        {
            state.meter[lane] = before.meter[lane];
            skip (lane, n, gateStep, shown, meters);
            continue;
        }
        for (int k = 0; k < n; ++k)
        {
            busLeft[lane][k] = frames[k][lane];
            busRight[lane][k] = frames[k][8 + lane];
        }
        shown[lane] = shownAll[lane];
        meters[lane] = peak[lane];
    }
}

// A skipped chunk: the shown gate in closed form and one release step of the meter.
void LaneChannels::skip (int lane, int n, float gateStep, float* shown, float* meters) noexcept
{
    const float gate = settings.gate[lane];
    shown[lane] += (gate - shown[lane]) * (1.0f - (float) std::pow (1.0 - gateStep, n));
    state.meter[lane] += (0.0f - state.meter[lane]) * meterRelease;
    meters[lane] = state.meter[lane];
}

} // namespace vl
