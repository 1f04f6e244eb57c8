// Chips and the bank of six boxes the chip lanes play from.
#pragma once

#include <array>
#include <memory>
#include <vector>

namespace vl
{

constexpr int numBoxes = 6;
constexpr int brusBox = 4;
constexpr int ghostBox = 5; // SPÖKE: chips cut from the own output or the shared ring

// A chip: a short stereo slice of audio. Never changed after creation, so one chip can sit
// in several banks at once.
struct Virl
{
    std::vector<float> left;
    std::vector<float> right; // same length as left
    float sampleRate = 48000.0f;
    float pitch = 0.0f;      // MIDI note of the fundamental (69 = 440 Hz); 0 or less: unpitched
    float brightness = 0.5f; // 0 dark .. 1 bright: the sort key within a box
    int box = 4;

    int frames() const noexcept { return static_cast<int> (left.size()); }
};

using Box = std::vector<std::shared_ptr<const Virl>>;

// Six boxes of chips, each ordered dark to bright by sortBox. Built off the audio thread and
// never changed once installed. The audio thread only indexes it through a const Bank* and
// takes chips out as raw pointers (boxes[b][k].get()): copying a shared_ptr there would touch
// a reference count and could free a chip on the audio thread.
struct Bank
{
    std::array<Box, numBoxes> boxes;
    std::array<bool, numBoxes> factory {}; // true while the box holds only factory material
};

// Stable, ascending by brightness: equal chips keep their order. Empty entries and chips
// whose brightness is NaN go to the end, so a faulty producer cannot break the ordering.
// Any thread but the audio thread.
void sortBox (Box& box);

// The first step of every producer that changes part of the material: a new bank holding the
// same chips (shared, not copied) and the same factory flags. `current` is the caller's own
// copy of the installed bank's pointer, taken under bankLock; nullptr gives an empty bank.
// Any thread but the audio thread.
std::shared_ptr<Bank> deriveBank (const Bank* current);

// The ghost refresh: `current` with its ghost box replaced by `chips`, sorted.
// Any thread but the audio thread.
std::shared_ptr<Bank> replaceGhostBox (const Bank* current, Box chips);

// FABRIK's step after building fresh factory material: the ghost chips of `current`
// (if there is a bank) survive into `fresh`. Any thread but the audio thread.
void carryGhostBox (Bank& fresh, const Bank* current);

// The box a lane asking for `box` actually plays: an empty ghost box falls back to BRUS.
// -1 when there is nothing to play (index outside 0..5, or the box is empty). Audio thread.
int playableBox (const Bank& bank, int box) noexcept;

} // namespace vl
