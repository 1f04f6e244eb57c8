// The look-ahead ceiling: every output sample stays within -0.3 dBFS.
#pragma once

#include <array>

namespace vl
{

class Ceiling
{
public:
    // 0.96605086 = -0.3 dBFS: the bound every output sample respects.
    static constexpr float ceiling = 0.96605086f;
    // Samples the signal is held back so the gain can fall before a peak leaves; the plug-in
    // reports them as its latency.
    static constexpr int lookAhead = 64;

    // Message thread, audio stopped. Sets the time constants and empties the delay.
    void prepare (double sampleRate);

    // Audio thread. Limits both sides in place, 64 samples late. Finite input comes out within
    // ±ceiling; the final clamp holds whatever the gain does.
    void process (float* left, float* right, int n);

private:
    std::array<float, lookAhead> delayLeft {}, delayRight {};
    int index = 0;
    float gain = 1.0f;
    float heldPeak = 0.0f;
    int hold = 0;

    float attack = 0.0f;
    float release = 0.0f;
    float peakDecay = 0.0f;
};

} // namespace vl
