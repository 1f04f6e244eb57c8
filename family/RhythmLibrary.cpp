// The rhythm library: constant tables, so lookups never build or allocate anything.
#include "family/RhythmLibrary.h"

#include <cmath>
#include <string_view>

namespace gv
{

namespace
{
constexpr LibPattern kickLibrary[] = {
    { "x...x...x...x...", 0.25f },
};

constexpr LibPattern basLibrary[] = {
    { "..x...x...x...x.", 0.25f }, { "..x..xx...x..x..", 0.3f },  { "..xx..x...xx..x.", 0.38f },
    { "...x..x....x..x.", 0.25f }, { "..x....x..x....x", 0.25f }, { "..x.x.....x.x...", 0.25f },
    { "...xx.....x..x..", 0.25f }, { "..x...xx..x...x.", 0.32f }, { "......x.......x.", 0.12f },
    { "..x..x..x.....x.", 0.25f },
};

constexpr LibPattern klickLibrary[] = {
    { "....x.......x...", 0.12f }, { "....x.......x..g", 0.15f }, { "...x..x...x..x..", 0.25f },
    { "x..x..x...x..x..", 0.3f },  { "..x..x....x..x..", 0.25f }, { "....x..g....x...", 0.15f },
    { ".......x.......x", 0.12f }, { "...x.......x....", 0.12f }, { "....x..x....x.x.", 0.25f },
    { "..g.x.....g.x...", 0.2f },  { "x.....x.....x...", 0.18f }, { "...g..x..g....x.", 0.22f },
};

constexpr LibPattern tickLibrary[] = {
    { "..x...x...x...x.", 0.25f }, { "..X...x...X...x.", 0.25f }, { "..x.g.x...x.g.x.", 0.35f },
    { "x.x.x.x.x.x.x.x.", 0.5f },  { "g.x.g.x.g.x.g.x.", 0.5f },  { "..x.x...x.x...x.", 0.35f },
    { "...x..x....x..x.", 0.25f }, { "..xg..x...xg..x.", 0.38f }, { "xgxgxgxgxgxgxgxg", 0.9f },
    { "..x..gx...x..gx.", 0.35f }, { ".gx..gx..gx..gx.", 0.45f }, { "..x...xg..x...xg", 0.32f },
    { "..x...x...x..xx.", 0.3f },  { "g.X.g.x.g.X.g.xg", 0.55f },
};

constexpr LibPattern rostLibrary[] = {
    { "......x........x", 0.12f }, { "...x.......x....", 0.12f }, { "..x..x.......x..", 0.18f },
    { ".....x..x.....x.", 0.18f }, { "x......x..x.....", 0.18f }, { "...g..x.....g..x", 0.2f },
    { "..x..x..x..x..x.", 0.3f },  { ".......x.x.....x", 0.18f },
};

constexpr LibPattern tonLibrary[] = {
    { "x.....x.....x...", 0.18f }, { "...x.....x......", 0.12f }, { "x..x..x..x..x...", 0.3f },
    { "..x.......x..x..", 0.18f }, { "x.......x..x....", 0.18f }, { ".x....x....x....", 0.18f },
    { "...x..x...x.....", 0.18f }, { "x..x....x.......", 0.18f },
};

constexpr LibPattern luftLibrary[] = {
    { "x...............................", 0.03f }, // 32 steps: one breath every two bars
    { "........x.......", 0.06f },
    { "x.......x.......", 0.12f },
    { "....x...........", 0.06f },
    { "x...........x...", 0.12f },
};

// Odd lengths on purpose: the ghost lane drifts against the bar.
constexpr LibPattern spokeLibrary[] = {
    { "..x......x..x...", 0.2f },
    { "x...x.......", 0.16f },
    { "...x....x...x.", 0.2f },
    { "x..x.....", 0.2f },
};

template <std::size_t N>
constexpr int pick (const int (&lengths)[N], Rng& rng)
{
    return lengths[rng.below (static_cast<int> (N))];
}
} // namespace

std::span<const LibPattern> libraryFor (Role role)
{
    switch (role)
    {
        case Role::kick: return kickLibrary;
        case Role::bas: return basLibrary;
        case Role::klick: return klickLibrary;
        case Role::tick: return tickLibrary;
        case Role::rost: return rostLibrary;
        case Role::ton: return tonLibrary;
        case Role::luft: return luftLibrary;
        case Role::spoke: return spokeLibrary;
    }
    return {};
}

int textLength (const LibPattern& entry) { return static_cast<int> (std::string_view (entry.text).size()); }

const LibPattern* pickNearest (Role role, float wanted, Rng& rng)
{
    const auto library = libraryFor (role);
    const LibPattern* winner = library.empty() ? nullptr : library.data();
    float best = 1e9f;
    for (const auto& entry : library)
    {
        const float score = std::abs (entry.density - wanted) + 0.12f * rng.uniform();
        if (score < best)
        {
            best = score;
            winner = &entry;
        }
    }
    return winner;
}

int goodCycle (Role role, Rng& rng)
{
    // Repeated lengths weight the draw towards the bar; the odd ones make polymeters.
    static constexpr int klick[] = { 16, 16, 16, 12, 14 };
    static constexpr int rost[] = { 16, 16, 12, 10, 14, 7, 9, 11, 13 };
    static constexpr int ton[] = { 16, 12, 12, 10, 14, 6 };
    static constexpr int spoke[] = { 9, 15, 7, 11, 13, 5 };

    switch (role)
    {
        case Role::klick: return pick (klick, rng);
        case Role::rost: return pick (rost, rng);
        case Role::ton: return pick (ton, rng);
        case Role::spoke: return pick (spoke, rng);
        case Role::luft: return rng.uniform() < 0.5f ? 32 : 16;
        default: return 16;
    }
}

float wantedDensity (Role role, float tathet)
{
    switch (role)
    {
        case Role::bas: return 0.37f * tathet + 0.08f;
        case Role::klick: return 0.29f * tathet + 0.06f;
        case Role::tick: return 0.63f * tathet + 0.12f;
        case Role::rost: return 0.35f * tathet + 0.05f;
        case Role::ton: return 0.3f * tathet + 0.05f;
        case Role::luft: return 0.18f * tathet + 0.02f;
        case Role::spoke: return 0.34f * tathet + 0.06f;
        default: return 0.25f;
    }
}

} // namespace gv
