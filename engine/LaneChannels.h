// The eight lanes' channels after the voices: colour filters, the sampler colour (ÅLDER), level, shown gate and meters.
#pragma once

#include "engine/StateVariable.h"
#include "patterns/Pattern.h"

#include <array>

namespace vl
{

// The four sampler colours of `alder`: NY, MJUK 12, GRUS 12, VARM.
constexpr int numAges = 4;

// Round half away from zero, exactly as std::round but without a library call per sample.
float nearestWhole (float x) noexcept;

// All eight lanes side by side. Every state is kept per chain, chain = side·8 + lane (left 0..7,
// right 8..15), so one pass runs four chains per instruction; lanes that must not run this chunk
// keep their state as it was. Per-lane settings come first, once per chunk, then process().
class LaneChannels
{
public:
    static constexpr int maxFrames = 256;

    // Message thread, audio stopped: coefficients for this rate; clears every state.
    void prepare (double sampleRate);

    // Audio thread, once per chunk and chip lane (KICK and BAS always run, uncoloured).
    // `sounding`: a voice played during the chunk. False when the lane may be skipped because
    // nothing has sounded on it for 300 ms; a skipped lane's bus is left untouched.
    bool wakes (int lane, bool sounding, int n) noexcept;

    // Audio thread, once per chunk and chip lane: colour −1..1 (dark .. thin) and the arc's
    // brightness factor 0.12 + 0.88·arcLevel set the low-pass and high-pass cutoffs.
    void setColour (int lane, float colour, float brightness) noexcept;

    // Audio thread, once per chunk and chip lane: the sampler colour 0..3 (clamped).
    void setAge (int lane, int mode) noexcept;

    // Audio thread, once per chunk and lane: the lane's level `niva` and its gate for this bar.
    void setLevel (int lane, float niva, float gate) noexcept;

    // Audio thread: runs every lane's channel over n (1..256) samples in place on the buses.
    // shown: the smoothed gates, moved toward the gates by gateStep per sample; meters receives
    // each lane's peak meter level of the chunk.
    void process (float* const* busLeft, float* const* busRight, int n, float gateStep, float* shown,
                  float* meters) noexcept;

    int age (int lane) const noexcept { return mode[(size_t) lane]; }

private:
    void skip (int lane, int n, float gateStep, float* shown, float* meters) noexcept;

    double rate = 48000.0;
    float meterAttack = 0.0f, meterRelease = 0.0f;
    std::array<int, numLanes> idleCountdown {}; // samples until a silent chip lane is skipped
    std::array<bool, numLanes> awake {};
    std::array<int, numLanes> mode {};
    std::array<float, numLanes> lastColour {}, lastBrightness {}; // coefficients were made for these

    // Per lane, laid out for four-wide loads (lanes 0..3, 4..7).
    struct Settings
    {
        alignas (16) float lowA1[numLanes], lowA2[numLanes], lowA3[numLanes];
        alignas (16) float highA1[numLanes], highA2[numLanes], highA3[numLanes], highK[numLanes];
        alignas (16) float holdRate[numLanes], pre[numLanes], post[numLanes];
        alignas (16) float steps[numLanes], clipDrive[numLanes], clipGain[numLanes];
        alignas (16) int coloured[numLanes], aged[numLanes], clipped[numLanes]; // -1 true, 0 false
        alignas (16) float scale[numLanes], gate[numLanes];
    } settings {};

    // Per chain (16) and per lane (8).
    struct State
    {
        alignas (16) float low1[16], low2[16], high1[16], high2[16];
        alignas (16) float pre[16], post[16], hold[16];
        alignas (16) float phase[numLanes];
        alignas (16) float meter[numLanes];
    } state {};

    // The buses interleaved: frame k's sixteen chains side by side.
    alignas (16) float frames[maxFrames][16] {};
};

} // namespace vl
