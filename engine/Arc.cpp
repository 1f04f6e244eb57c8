#include "engine/Arc.h"

#include "family/Random.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vl
{

namespace
{
struct CurvePoint
{
    float x, y;
};

constexpr std::array<CurvePoint, 11> arcCurve { { { 0.00f, 0.22f }, { 0.12f, 0.50f }, { 0.28f, 0.82f },
                                                  { 0.40f, 0.68f }, { 0.55f, 0.95f }, { 0.70f, 1.00f },
                                                  { 0.76f, 0.35f }, { 0.84f, 0.55f }, { 0.90f, 0.98f },
                                                  { 0.97f, 0.50f }, { 1.00f, 0.22f } } };

constexpr std::array<int, 4> gapLengths { 4, 8, 8, 16 };

constexpr bool arcIsOff (const EngineParams& p) { return p.bage <= 0.001f; }

// lowbias32 without its first xor-shift: the gap's lane and length come from the folded phrase hash.
constexpr std::uint32_t finishMix (std::uint32_t x)
{
    x *= 0x7feb352du;
    x ^= x >> 15;
    x *= 0x846ca68bu;
    x ^= x >> 16;
    return x;
}
} // namespace

ArcPoint arc (std::int64_t bar, double bpm, const EngineParams& p)
{
    if (arcIsOff (p))
        return {};

    const double minutes = std::max (1, p.bageMinutes);
    double e = ((double) bar * 4.0 * 60.0 / bpm) / (minutes * 60.0);
    e -= std::floor (e);

    size_t g = 1;
    while (g < arcCurve.size() - 1 && e > arcCurve[g].x)
        ++g;
    const auto& a = arcCurve[g - 1];
    const auto& b = arcCurve[g];
    const double shape = 0.5 - 0.5 * std::cos (std::numbers::pi * (e - a.x) / (double) (b.x - a.x));
    const float y = a.y + (b.y - a.y) * (float) shape;

    ArcPoint point;
    point.level = 1.0f + p.bage * (y - 1.0f);
    point.drive = 1.05f * point.level + 0.35f;
    return point;
}

bool arcRestsLane (float level, int lane)
{
    return lane > 0 && level < 0.115f * (float) lanePriority[(size_t) lane] + 0.05f;
}

bool luckaMuted (const EngineParams& p, std::uint32_t seedAll, int lane, std::int64_t bar)
{
    const std::int64_t phrase = bar >= 0 ? bar / 8 : -((-bar + 7) / 8);
    for (std::int64_t j = std::max<std::int64_t> (0, phrase - 2); j <= phrase; ++j)
    {
        const auto l = gv::saltMix (gv::hashMix (seedAll, (std::uint32_t) j), 0x9217b585u);
        if (! (0.32f * p.bage > gv::unit (l)))
            continue;
        const auto t = l ^ (l >> 16);
        const int gapLane = (int) (finishMix (t) % 7u) + 1;
        const int length = gapLengths[finishMix (t ^ 0x55u) % 4u];
        if (gapLane == lane && 8 * j <= bar && bar < 8 * j + length)
            return true;
    }
    return false;
}

std::array<float, 8> laneGates (const EngineParams& p, std::uint32_t seedAll, std::int64_t bar, float level)
{
    std::array<float, 8> gates {};
    gates[0] = 1.0f;
    for (int lane = 1; lane < 8; ++lane)
    {
        if (arcRestsLane (level, lane))
            gates[(size_t) lane] = 0.0f;
        else if (arcIsOff (p))
            gates[(size_t) lane] = 1.0f;
        else
            gates[(size_t) lane] = luckaMuted (p, seedAll, lane, bar) ? 0.0f : 1.0f;
    }
    return gates;
}

} // namespace vl
