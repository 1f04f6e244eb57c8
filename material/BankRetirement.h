// Replaced banks kept alive until no voice can still be reading one of their chips.
#pragma once

#include "material/Virl.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace vl
{

// Far longer than any chunk: the audio thread loads the bank pointer once per chunk.
constexpr std::uint32_t bankGraceMs = 5000;

struct RetiredBank
{
    std::shared_ptr<const Bank> bank;
    std::uint32_t retiredAtMs = 0; // millisecond counter when it was replaced
    std::uint32_t holdMs = bankGraceMs;
};

// How long a replaced bank must stay alive: the grace time, or longer when one of its chips,
// played three octaves down (eight times its length), outlasts it. Voices only hold raw
// pointers, so this is what keeps a sounding chip alive. Any thread but the audio thread.
std::uint32_t holdTimeMs (const Bank& bank);

// Appends `bank` (if set) with its hold time. Call under bankLock, never on the audio thread.
void retire (std::vector<RetiredBank>& retired, std::shared_ptr<const Bank> bank, std::uint32_t nowMs);

// Drops every entry older than its hold time; the others keep their order. Ages are unsigned
// 32-bit differences, so a wrap of the counter is harmless. Call under bankLock on the thread
// that may free (the message thread's timer).
void releaseRetired (std::vector<RetiredBank>& retired, std::uint32_t nowMs);

} // namespace vl
