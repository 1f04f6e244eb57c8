// One sample-playback voice of a chip lane: interpolated reading at any rate, forwards or backwards.
#pragma once

#include "material/Virl.h"

namespace vl
{

struct ChipVoice
{
    static constexpr int fadeSamples = 96;   // release fade: 2 ms at 48 kHz, long enough not to click
    static constexpr int attackSamples = 32; // linear fade-in, so the first sample is silent

    // The bank that held the chip stays alive while a voice can still play it (the processor's
    // retirement hold time covers a chip played three octaves down), so a raw pointer suffices
    // and the audio thread never touches a reference count.
    const Virl* chip = nullptr;
    double position = 0.0; // read position in chip frames
    double rate = 1.0;     // chip frames per output sample
    float gain = 0.0f;     // 0.85·velocity
    float leftGain = 0.0f, rightGain = 0.0f;
    int gate = 0; // samples left before the release fade starts
    int fade = 0; // release fade counter, 96 down to 1
    int age = 0;  // samples since start
    bool reverse = false;
    bool active = false;
    bool fading = false;

    // Audio thread: (re)starts the voice on chip, taking over whatever it was playing.
    void start (const Virl& chip, double rate, bool reverse, float velocity, float leftGain, float rightGain,
                int lengthSamples) noexcept;

    // Audio thread: adds n samples to left and right; the voice stops when it runs off the chip
    // or its release fade ends.
    void render (float* left, float* right, int n) noexcept;
};

} // namespace vl
