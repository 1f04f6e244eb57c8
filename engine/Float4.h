// Four floats processed at once (one SSE register), for the lane channels' side-by-side pass.
#pragma once

#include <cstring>

namespace vl
{

// GCC/Clang vector extensions: arithmetic is element-wise IEEE float, exactly as on scalars,
// so a four-wide loop gives the same bits as four scalar ones.
using Float4 = float __attribute__ ((vector_size (16)));
using Mask4 = int __attribute__ ((vector_size (16))); // comparison results: -1 true, 0 false

inline Float4 splat (float x) noexcept { return Float4 { x, x, x, x }; }

inline Float4 load4 (const float* p) noexcept
{
    Float4 v;
    std::memcpy (&v, p, sizeof v);
    return v;
}

inline void store4 (float* p, Float4 v) noexcept { std::memcpy (p, &v, sizeof v); }

inline Float4 select (Mask4 mask, Float4 whenTrue, Float4 whenFalse) noexcept { return mask ? whenTrue : whenFalse; }

inline Float4 abs4 (Float4 x) noexcept { return (Float4) ((Mask4) x & 0x7fffffff); }

// std::max's rule: a unless a < b.
inline Float4 max4 (Float4 a, Float4 b) noexcept { return a < b ? b : a; }

// The engine's soft clip, element-wise (see softClip).
inline Float4 softClip4 (Float4 x) noexcept
{
    const Float4 x2 = x * x;
    Float4 y = x * (27.0f + x2) / (27.0f + 9.0f * x2);
    y = x < -4.5f ? splat (-1.016129f) : y;
    return x > 4.5f ? splat (1.016129f) : y;
}

// Round half away from zero, exactly as std::round. 0.49999997 is the float just below 0.5:
// adding it never carries a value below .5 up to the next whole number, while a true .5
// still rounds up (ties to even in the addition land on the far side). From 2^23 up (and
// for NaN) every float is already whole and passes through.
inline Float4 nearest4 (Float4 x) noexcept
{
    const Float4 half = (Float4) (((Mask4) x & (int) 0x80000000) | (Mask4) splat (0.49999997f)); // x's sign
    const Mask4 small = abs4 (x) < 8388608.0f;
    const Float4 shifted = small ? x + half : splat (0.0f);
    const Float4 whole = __builtin_convertvector (__builtin_convertvector (shifted, Mask4), Float4);
    return small ? whole : x;
}

} // namespace vl
