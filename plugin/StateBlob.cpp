#include "plugin/StateBlob.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vl
{

namespace
{
std::optional<juce::MemoryBlock> decode (const juce::String& text, size_t expectedSize)
{
    // JUCE's decoder allocates whatever size the text's prefix claims ("4000000000." would take
    // gigabytes), so the prefix must name exactly the size expected before it gets there.
    const auto prefix = text.upToFirstOccurrenceOf (".", false, false);
    if (prefix.isEmpty() || ! prefix.containsOnly ("0123456789") || prefix != juce::String ((juce::uint64) expectedSize))
        return std::nullopt;
    juce::MemoryBlock block;
    if (! block.fromBase64Encoding (text) || block.getSize() != expectedSize)
        return std::nullopt;
    return block;
}

float finiteOr (float v, float fallback) { return std::isfinite (v) ? v : fallback; }

void sanitise (Pattern& p)
{
    p.length = std::clamp (p.length, 1, maxSteps);
    p.fargShift = std::clamp (finiteOr (p.fargShift, 0.0f), -0.4f, 0.4f);
}

// Bools in a saved step may hold any byte; only 0 and 1 are valid objects of type bool.
void normaliseStepBytes (unsigned char* patternBytes)
{
    for (int s = 0; s < maxSteps; ++s)
    {
        auto* step = patternBytes + offsetof (Pattern, steps) + (size_t) s * sizeof (Step);
        for (int flag = 0; flag < 4; ++flag)
            step[flag] = step[flag] != 0 ? 1 : 0;
    }
}
} // namespace

juce::String encodeRoll (const RollSnapshot& snapshot)
{
    std::array<char, rollBlobSize> bytes {};
    std::memcpy (bytes.data(), &snapshot, sizeof (RollSnapshot));
    return juce::MemoryBlock (bytes.data(), bytes.size()).toBase64Encoding();
}

std::optional<RollSnapshot> decodeRoll (const juce::String& text)
{
    auto block = decode (text, rollBlobSize);
    if (! block)
        return std::nullopt;

    auto* bytes = static_cast<unsigned char*> (block->getData());
    for (int lane = 0; lane < numLanes; ++lane)
        normaliseStepBytes (bytes + (size_t) lane * sizeof (RollSnapshotLane));

    RollSnapshot snapshot;
    std::memcpy (&snapshot, bytes, sizeof (RollSnapshot));
    for (auto& lane : snapshot.lanes)
    {
        sanitise (lane.basePattern);
        lane.padding = 0;
    }
    return snapshot;
}

juce::String encodeEgen (const std::array<float, 48>& values)
{
    return juce::MemoryBlock (values.data(), sizeof (values)).toBase64Encoding();
}

std::optional<std::array<float, 48>> decodeEgen (const juce::String& text)
{
    const auto block = decode (text, 48 * sizeof (float));
    if (! block)
        return std::nullopt;
    std::array<float, 48> values {};
    std::memcpy (values.data(), block->getData(), sizeof (values));
    for (auto& v : values)
        v = finiteOr (v, 0.0f);
    return values;
}

void dropUnusableValues (juce::ValueTree& state)
{
    for (int i = state.getNumChildren(); --i >= 0;)
    {
        const auto child = state.getChild (i);
        if (! child.hasType ("PARAM"))
            continue;
        const auto value = child.getProperty ("value");
        const bool numeric = value.isDouble() || value.isInt() || value.isInt64()
                          || (value.isString() && value.toString().trim().containsOnly ("0123456789+-.eE"));
        if (! numeric || ! std::isfinite ((double) value))
            state.removeChild (i, nullptr);
    }
}

} // namespace vl
