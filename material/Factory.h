// The factory: a complete bank of synthesised chips computed from nothing but a seed, the same
// on every machine. Nothing here keeps state between calls; all of it runs off the audio thread.
#pragma once

#include "material/Virl.h"

#include <array>
#include <cstdint>
#include <memory>
#include <vector>

namespace vl::factory
{

// The bank the processor installs at construction and FABRIK brings back.
constexpr std::uint32_t defaultSeed = 4011;

// Chips per box: KLICK, TICK, RÖST, TON, BRUS (232 in all).
constexpr std::array<int, 5> boxSizes { 48, 48, 64, 40, 32 };

// Boxes 0..4 filled with factory chips and sorted, their factory flags set; the ghost box
// empty. Takes a few tens of milliseconds: the constructor's thread or the message thread.
std::shared_ptr<Bank> build (std::uint32_t seed);

// A 48 kHz chip from mono samples: the right channel spread by a short delay (width), the
// source peak normalised to 0.8, a fade to silence at the end.
std::shared_ptr<const Virl> make (std::vector<float> samples, int box, float pitch, float brightness, float width, std::uint32_t seed);

// One chip of each box's recipe, every parameter drawn from the seed.
std::shared_ptr<const Virl> klick (std::uint32_t seed);
std::shared_ptr<const Virl> tick (std::uint32_t seed);
std::shared_ptr<const Virl> rost (std::uint32_t seed);
std::shared_ptr<const Virl> ton (std::uint32_t seed);
std::shared_ptr<const Virl> brus (std::uint32_t seed);

} // namespace vl::factory
