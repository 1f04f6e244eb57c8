// What a voice needs to know about one due hit; the engine fills it from its pending record.
#pragma once

#include <cstdint>

namespace vl
{

struct Hit
{
    int lane = 0;                // 0..7: KICK, BAS, KLICK, TICK, RÖST, TON, LUFT, SPÖKE
    float velocity = 0.0f;       // 0..1
    int pitch = 0;               // step pitch: a scale offset for BAS and TON, semitones elsewhere
    int chip = 0;                // chip selector, taken modulo the box size
    bool reverse = false;        // play the chip backwards
    float sixteenthSamples = 0;  // samples per sixteenth when the hit was scheduled
    std::uint32_t sixteenth = 0; // sixteenth index with its top bit cleared: the pan hash source
};

} // namespace vl
