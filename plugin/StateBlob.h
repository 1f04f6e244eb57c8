// The binary blobs inside the saved state ("rulle", "egen") and the checks that keep a damaged state harmless.
#pragma once

#include "engine/RollSnapshot.h"

#include <juce_data_structures/juce_data_structures.h>

#include <array>
#include <optional>

namespace vl
{

// The snapshot plus four zero bytes, in JUCE's base64 text ("2248.…").
juce::String encodeRoll (const RollSnapshot& snapshot);

// Nothing unless the text decodes to exactly 2248 bytes. Step flags are normalised, lengths kept
// within 1..32 and colour offsets within range, so no saved byte can put the engine out of its depth.
std::optional<RollSnapshot> decodeRoll (const juce::String& text);

juce::String encodeEgen (const std::array<float, 48>& values);

// Nothing unless the text decodes to exactly 192 bytes; values that are not finite read as 0.
std::optional<std::array<float, 48>> decodeEgen (const juce::String& text);

// Removes PARAM children whose value is not a finite number, so those parameters keep their values.
void dropUnusableValues (juce::ValueTree& state);

} // namespace vl
