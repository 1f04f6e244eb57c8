// The look-ahead ceiling: a held peak sets the gain target, the gain falls within about 0.4 ms,
// and the delayed signal is clamped so that no sample the gain misses gets through.
#include "engine/Ceiling.h"

#include "engine/MasterFilters.h"

#include <cmath>

namespace vl
{

namespace
{
// Clamp that also turns NaN into silence (plain min/max would let it through).
inline float clampToCeiling (float x)
{
    if (x > Ceiling::ceiling) return Ceiling::ceiling;
    if (x >= -Ceiling::ceiling) return x;
    return x < -Ceiling::ceiling ? -Ceiling::ceiling : 0.0f;
}
} // namespace

void Ceiling::prepare (double sampleRate)
{
    delayLeft.fill (0.0f);
    delayRight.fill (0.0f);
    index = 0;
    gain = 1.0f;
    heldPeak = 0.0f;
    hold = 0;
    attack = master::smoothingCoefficient (sampleRate, 0.0004);
    release = master::smoothingCoefficient (sampleRate, 0.08);
    peakDecay = (float) std::exp (-1.0 / (0.004 * sampleRate));
}

void Ceiling::process (float* left, float* right, int n)
{
    float g = gain;
    float peak = heldPeak;
    int holdLeft = hold;
    int i = index;

    for (int k = 0; k < n; ++k)
    {
        const float l = left[k];
        const float r = right[k];
        const float p = std::max (std::fabs (l), std::fabs (r));
        if (p >= peak)
        {
            peak = p;
            holdLeft = lookAhead; // held until the peak has left the delay
        }
        else if (holdLeft > 0)
        {
            --holdLeft;
        }
        else
        {
            peak *= peakDecay;
        }

        const float target = peak > ceiling ? ceiling / peak : 1.0f;
        g += (target - g) * (target < g ? attack : release);

        left[k] = clampToCeiling (delayLeft[(size_t) i] * g);
        right[k] = clampToCeiling (delayRight[(size_t) i] * g);
        delayLeft[(size_t) i] = l;
        delayRight[(size_t) i] = r;
        i = (i + 1) & (lookAhead - 1);
    }

    gain = g;
    heldPeak = peak;
    hold = holdLeft;
    index = i;
}

} // namespace vl
