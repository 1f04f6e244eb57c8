// The 64 factory presets, built deterministically from a family table on first use.
#pragma once

#include <juce_core/juce_core.h>

#include <array>
#include <utility>
#include <vector>

namespace vl
{

struct Preset
{
    juce::String family;
    juce::String name;
    juce::uint32 seed = 0;
    std::vector<std::pair<juce::String, float>> values;
};

// Any thread; built once per process (thread-safe static initialisation) and never changed.
const std::vector<Preset>& presets();

// The parameters a preset never touches: output level, radio, ghost source, recorder length, MIDI follow.
extern const std::array<const char*, 7> keep;

} // namespace vl
