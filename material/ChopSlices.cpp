// Where the chopper cuts: attack detection, slicing between attacks, thinning to a chip budget.
#include "material/ChopStages.h"

#include "family/Random.h"

#include <algorithm>
#include <cmath>

namespace vl::chopping
{

namespace
{
// One-pole coefficients at 48 kHz. The residue above 90 Hz is followed twice: a fast envelope
// (0.5 ms up, 12 ms down) and a slow one (25 ms up, 180 ms down); an attack is where the fast
// one jumps clear of the slow one.
constexpr float lowPass = 0.011711836f;
constexpr float fastUp = 0.0408105f, fastDown = 0.00173461f;
constexpr float slowUp = 0.000832975f, slowDown = 0.000115752f;

constexpr float attackFloor = 0.0015f;
constexpr float attackRatio = 1.5875f;
constexpr int attackLead = 48;   // 1 ms: the cut lands just before the transient
constexpr int attackHold = 1440; // 30 ms: one hit, one onset

constexpr int longStretch = 19200; // 400 ms
constexpr int zeroSearch = 400;
constexpr int shortestSlice = 240; // 5 ms

bool nonNegative (float x) { return x >= 0.0f; }
} // namespace

std::vector<int> findOnsets (std::span<const float> mono)
{
    std::vector<int> onsets;
    float lp = 0.0f, fast = 0.0f, slow = 0.0f;
    int hold = 0;
    for (std::size_t i = 0; i < mono.size(); ++i)
    {
        const float x = mono[i];
        lp += (x - lp) * lowPass;
        const float d = std::fabs (x - lp);
        fast += (d - fast) * (d > fast ? fastUp : fastDown);
        slow += (d - slow) * (d > slow ? slowUp : slowDown);

        if (hold > 0)
        {
            --hold;
            continue;
        }
        // The slow envelope needs about 90 ms to catch up with an abrupt tone, so the body of a
        // hit that outlasts the hold still reads as an attack 30 and 60 ms in.
        if (fast > attackFloor && fast > attackRatio * slow)
        {
            onsets.push_back (std::max (0, static_cast<int> (i) - attackLead));
            hold = attackHold;
        }
    }
    return onsets;
}

std::vector<Slice> cutSlices (std::span<const float> mono, std::span<const int> onsets, std::uint32_t seed)
{
    std::vector<int> bounds;
    bounds.reserve (onsets.size() + 2);
    bounds.push_back (0);
    bounds.insert (bounds.end(), onsets.begin(), onsets.end());
    bounds.push_back (static_cast<int> (mono.size()));

    gv::Rng rng (seed);
    std::vector<Slice> slices;
    for (std::size_t b = 0; b + 1 < bounds.size(); ++b)
    {
        int start = bounds[b];
        const int end = bounds[b + 1];
        while (end - start > longStretch)
        {
            const double u = rng.uniform();
            int cut = std::min (end, start + static_cast<int> ((0.12 + 0.23 * u) * rate));
            // A cut on a zero crossing needs no fade to avoid a click.
            const int searchEnd = std::min (cut + zeroSearch, end - 1);
            for (int i = cut; i < searchEnd; ++i)
            {
                if (nonNegative (mono[(std::size_t) i]) != nonNegative (mono[(std::size_t) i + 1]))
                {
                    cut = i;
                    break;
                }
            }
            slices.push_back ({ start, cut });
            start = cut;
        }
        if (end - start >= shortestSlice)
            slices.push_back ({ start, end });
    }
    return slices;
}

std::vector<Slice> thinSlices (const std::vector<Slice>& slices, int maxCount)
{
    const auto count = static_cast<std::int64_t> (slices.size());
    if (count <= maxCount)
        return slices;

    std::vector<Slice> kept;
    kept.reserve (static_cast<std::size_t> (std::max (0, maxCount)));
    for (std::int64_t j = 0; j < maxCount; ++j)
        kept.push_back (slices[(std::size_t) (j * count / maxCount)]);
    return kept;
}

} // namespace vl::chopping
