// SKIVA: the record's wow (a slowly wandering short delay) and its crackle and hiss.
#pragma once

#include <cstdint>
#include <vector>

namespace vl
{

// One sample's draws from the record noise source, in the order they are taken: the crackle
// chance, two draws shaping an impulse when it fires, then the hiss draw.
struct NoiseDraw
{
    float impulse = 0.0f; // 0 when no crackle this sample
    float hiss = 0.0f;    // white, -1..1
};

NoiseDraw drawNoise (std::uint32_t& random, float crackleChance);

class Skiva
{
public:
    // Chance of a crackle per sample at `amount`: about 50 per second at full SKIVA at any rate.
    static float crackleChance (float amount, double sampleRate);

    // Message thread, audio stopped. Sizes the wow rings for the rate and resets every state.
    void prepare (double sampleRate);

    // Audio thread. Wow and noise on both sides in place; amount is the `skiva` parameter, 0..1.
    // At or below 0.001 the signal passes untouched and the wow and noise stand still.
    void process (float* left, float* right, int n, float amount);

private:
    void wander (float* left, float* right, int n, float amount);
    void addNoise (float* left, float* right, int n, float amount);
    void remember (const float* left, const float* right, int n);

    double rate = 48000.0;

    // Wow: delay rings sized in prepare, the LFO between two random targets.
    std::vector<float> ringLeft, ringRight;
    int writeIndex = 0;
    int mask = 0;
    double phase = 0.0;
    double phaseIncrement = 0.0;
    float previousTarget = 0.0f;
    float nextTarget = 0.0f;
    std::uint32_t wowRandom = 0;

    // Noise: one source for crackle and hiss, each through its own one-pole.
    std::uint32_t noiseRandom = 0;
    float crackle = 0.0f;
    float hiss = 0.0f;
    float crackleCoefficient = 0.0f;
    float hissCoefficient = 0.0f;
};

} // namespace vl
