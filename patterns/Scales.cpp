// Scale snapping and the per-role pitch choices.
#include "patterns/Scales.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <span>

namespace vl
{

namespace
{
constexpr int moll[] = { 0, 2, 3, 5, 7, 8, 10 };
constexpr int dorisk[] = { 0, 2, 3, 5, 7, 9, 10 };
constexpr int frygisk[] = { 0, 1, 3, 5, 7, 8, 10 };
constexpr int mollpenta[] = { 0, 3, 5, 7, 10 };
constexpr int kvint[] = { 0, 7 };

constexpr std::array<std::span<const int>, numScales> scales { moll, dorisk, frygisk, mollpenta, kvint };

// Root, minor third, fifth, minor seventh, octave and tenth: the intervals a minimal stab
// moves between. 0 and 7 twice because they carry the key.
constexpr std::int8_t tonPitches[8] = { 0, 0, 3, 7, 7, 10, 12, 15 };

std::int8_t basPitch (float v)
{
    if (v < 0.62f) return 0;
    if (v < 0.74f) return 12;
    if (v < 0.84f) return 7;
    if (v < 0.92f) return 10;
    return 3;
}
} // namespace

int snapToScale (int semitones, int scale)
{
    const auto tones = scales[static_cast<std::size_t> (std::clamp (scale, 0, numScales - 1))];

    // Floor division, so -1 lies in octave -1 at 11 semitones.
    const int octave = semitones / 12 - (semitones % 12 < 0 ? 1 : 0);
    const int r = semitones - 12 * octave;

    int best = tones[0];
    int bestDistance = 99;
    for (const int s : tones)
    {
        const int distance = std::abs (s - r);
        if (distance < bestDistance)
        {
            best = s;
            bestDistance = distance;
        }
    }
    if (12 - r < bestDistance)
        best = 12;

    return best + 12 * octave;
}

std::int8_t pickPitch (gv::Role role, gv::Rng& rng)
{
    switch (role)
    {
        case gv::Role::bas: return basPitch (rng.uniform());
        case gv::Role::ton: return tonPitches[rng.next() & 7u];
        case gv::Role::rost:
            // A rare whole-tone bend keeps the voice chip recognisable.
            if (rng.uniform() < 0.12f)
                return rng.uniform() < 0.5f ? 2 : -2;
            return 0;
        case gv::Role::spoke: return rng.uniform() < 0.3f ? -12 : 0;
        default: return 0;
    }
}

} // namespace vl
