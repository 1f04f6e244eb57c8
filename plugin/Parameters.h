// The 126 host-automatable parameters: their layout, IDs and value texts.
#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <array>

namespace vl
{

constexpr int numGlobalParams = 22;
constexpr int numLaneParams = 13;
constexpr int numParams = numGlobalParams + 8 * numLaneParams;

// Lane defaults, six per lane: nivå, drift, täthet, färg, spridning, längd.
extern const std::array<std::array<float, 6>, 8> laneDefaults;

// "l" + lane + "_" + part, e.g. "l0_niva".
juce::String lid (int lane, const juce::String& part);

juce::AudioProcessorValueTreeState::ParameterLayout createLayout();

// Value texts; the maximum-length argument JUCE passes is ignored everywhere.
juce::String percentText (float v);
juce::String signedPercentText (float v);
juce::String decibelText (float v);
juce::String integerText (float v);
juce::String hertzText (float v);
juce::String stepsText (float v);
juce::String signedIntegerText (float v);

} // namespace vl
