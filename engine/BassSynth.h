// The synthesised monophonic bass: a sine leaning toward a triangle, driven, low-passed, with glide and bend.
#pragma once

#include "engine/StateVariable.h"

#include <cstdint>

namespace vl
{

class BassSynth
{
public:
    // Message thread, audio stopped: coefficients for this rate; the bass falls silent.
    void prepare (double sampleRate);

    // Audio thread: starts a note of frequency hz for gateSamples samples at the given level.
    // From silence (or an envelope below 0.02) the pitch jumps; under a sounding note it glides.
    void trigger (float hz, int gateSamples, float velocity) noexcept;

    // Audio thread: closes the gate so the note releases (the transport stopped).
    void release() noexcept { gate = 0; }

    // Audio thread: adds n samples to left and right (the same value to both). farg is the BAS
    // lane's colour, bendTarget the semitones the pitch glides toward during this bar.
    void render (float farg, float bendTarget, float* left, float* right, int n) noexcept;

    bool isSounding() const noexcept { return active || envelope >= 1.0e-5f; }

private:
    double rate = 48000.0;
    float inverseRate = 1.0f / 48000.0f;
    float frequency = 55.0f, targetFrequency = 55.0f;
    float glide = 0.0f; // 30 ms one-pole toward the target frequency
    float phase = 0.0f;
    float envelope = 0.0f;
    float level = 0.0f;
    int gate = 0; // samples left before the release
    bool active = false;
    float bend = 0.0f;          // semitones
    float bendRatio = 1.0f;     // 2^(bend/12), refreshed every 16 samples
    float bendSlow = 0.0f;      // 600 ms toward a phrase-end bend
    float bendReturn = 0.0f;    // 40 ms back to the plain pitch
    std::uint32_t counter = 0;  // samples rendered: paces the 16-sample refreshes
    float s1 = 0.0f, s2 = 0.0f; // filter states
    SvfCoefficients filter;
};

} // namespace vl
