// Groove DNA: per-sixteenth micro-timing, accent and ghost tables of the eight grooves.
#pragma once

#include <algorithm>
#include <array>

namespace gv
{

constexpr int dnaSteps = 16;
constexpr int numGrooves = 8;

// The 48 floats after the name are the layout an extracted EGEN groove also uses.
struct Dna
{
    const char* name;
    std::array<float, dnaSteps> timing; // sixteenths, positive = late
    std::array<float, dnaSteps> accent; // 1.0 = full accent
    std::array<float, dnaSteps> ghost;  // base chance of a ghost on an empty KLICK/TICK step
};

// The i-th groove; any index outside 0..7 gives "909 RAK", the straight groove. Any thread.
const Dna& dnaTable (int i);

// Offset of a hit in sixteenths from the groove and the step's nudge (hundredths of a
// sixteenth). BAS passes swingScale 0.5 so the bass sits closer to the grid; KICK is never
// shifted and does not call this. ±0.45 keeps a hit inside its own sixteenth.
inline float grooveOffset (float timing, float svang, float swingScale, int nudge)
{
    return std::clamp (timing * svang * swingScale + static_cast<float> (nudge) * 0.01f, -0.45f, 0.45f);
}

// Velocity factor of a non-KICK hit. svang past 1 adds swing and ghosts but no more accent.
inline float accentFactor (float accent, float svang)
{
    return 1.0f + (0.5f * accent - 0.45f) * std::clamp (svang, 0.0f, 1.0f);
}

// Chance of a ghost hit on an empty KLICK or TICK step.
inline float ghostChance (float ghost, float svang) { return 0.8f * ghost * svang; }

} // namespace gv
