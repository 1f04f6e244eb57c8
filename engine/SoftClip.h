// The engine's one saturation curve, shared by the kick, the bass and the sampler colours.
#pragma once

namespace vl
{

// A rational tanh-like curve, x·(27 + x²)/(27 + 9·x²), monotonic and flat at ±3; held at its
// value at ±4.5 beyond that (1.016129), so large inputs cannot turn it back toward zero.
inline float softClip (float x) noexcept
{
    if (x < -4.5f)
        return -1.016129f;
    if (x > 4.5f)
        return 1.016129f;
    const float x2 = x * x;
    return x * (27.0f + x2) / (27.0f + 9.0f * x2);
}

} // namespace vl
