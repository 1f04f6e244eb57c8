// BAND: tape drive between pre-emphasis and de-emphasis, with a gentle top roll-off.
#pragma once

namespace vl
{

class Band
{
public:
    // Message thread, audio stopped. Sets the filter coefficients and clears the states.
    void prepare (double sampleRate);

    // Audio thread. Drives both sides in place; amount is the `band` parameter, 0..1.
    // At or below 0.0001 the signal passes untouched.
    void process (float* left, float* right, int n, float amount);

private:
    struct Side
    {
        float emphasis = 0.0f;
        float deEmphasis = 0.0f;
        float rollOff = 0.0f;
    };

    Side sideLeft, sideRight;
    float emphasisCoefficient = 0.0f;
    float deEmphasisCoefficient = 0.0f;
    float rollOffCoefficient = 0.0f;
};

} // namespace vl
