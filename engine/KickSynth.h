// The synthesised kick: a pitch-swept parabolic sine plus a noise click, driven into the soft clip.
#pragma once

#include "engine/EngineParams.h"

#include <cstdint>

namespace vl
{

class KickSynth
{
public:
    // Message thread, audio stopped: decay factors for this rate; the kick falls silent.
    void prepare (double sampleRate);

    // Audio thread: restarts the kick at the given level (the hit's velocity).
    void trigger (float velocity) noexcept;

    // Audio thread: adds n samples of the kick to left and right (the same value to both),
    // reading k_ton, k_langd, k_klick and k_driv from p.
    void render (const EngineParams& p, float* left, float* right, int n) noexcept;

    // More than 3 s after its trigger the kick renders nothing.
    bool isSounding() const noexcept { return elapsed <= silentAfter; }

private:
    double rate = 48000.0;
    float inverseRate = 1.0f / 48000.0f;
    std::int64_t elapsed = std::int64_t { 1 } << 50; // samples since the trigger: silent at start
    std::int64_t silentAfter = 144000;               // 3 s in samples

    float level = 0.0f;
    float phase = 0.0f;                // 0..1
    std::uint32_t noise = 0xc585030bu; // xorshift32 state
    float noiseLow = 0.0f;             // one-pole low-pass of the noise; the click is what it leaves
    float noiseCoefficient = 0.0f;
    float pitchFast = 0.0f, pitchSlow = 0.0f; // the two pitch-sweep envelopes
    float click = 0.0f;
    float amplitude = 0.0f;
    float amplitudeDecay = 1.0f; // refreshed every 32 samples so k_langd can move during a note
    float pitchFastDecay = 0.0f, pitchSlowDecay = 0.0f, clickDecay = 0.0f;
    float attackSlope = 0.0f; // 1/(0.6 ms in samples)
};

} // namespace vl
