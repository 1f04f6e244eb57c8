// The pattern records that the engine, generation and mutation share.
#pragma once

#include <array>
#include <cstdint>

namespace vl
{

// One step of a lane's cycle; 8 bytes so that a pattern keeps a fixed layout in saved state.
struct Step
{
    bool on = false;
    bool ghost = false;
    bool accent = false;
    bool reverse = false;
    std::int8_t pitch = 0;   // semitones; BAS and TON are snapped to the scale when played
    std::int8_t nudge = 0;   // hundredths of a sixteenth
    std::uint16_t chip = 0;  // chip selector, taken modulo the box size when played
};
static_assert (sizeof (Step) == 8);

constexpr int maxSteps = 32;

struct Pattern
{
    int length = 16;        // 1..32 steps in the cycle
    float fargShift = 0.0f; // colour offset added to the lane's farg
    std::array<Step, maxSteps> steps {};
};
static_assert (sizeof (Pattern) == 264);

// The five lane settings that generation and mutation read, copied per chunk.
struct LaneGen
{
    float tathet = 0.5f;
    int steg = 0; // 0 = AUTO (rhythm library), otherwise the wanted cycle length
    float drift = 0.3f;
    float bakl = 0.0f;
    bool frys = false;
};

constexpr int memoryDepth = 16;

// Earlier versions of a lane's pattern, newest at head - 1.
struct LaneMemory
{
    std::array<Pattern, memoryDepth> ring {};
    int count = 0;
    int head = 0;
};

// Forgets every remembered version; the ring contents stay but no longer count.
inline void forget (LaneMemory& memory)
{
    memory.count = 0;
    memory.head = 0;
}

constexpr int numLanes = 8;

enum Lane : int
{
    kick = 0,
    bas,
    klick,
    tick,
    rost,
    ton,
    luft,
    spoke
};

} // namespace vl
