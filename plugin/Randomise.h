// Musical bounds for the dice: SLUMPA ALLT and a lane's own die stay inside ranges that sound good.
#pragma once

#include <juce_core/juce_core.h>

#include <utility>
#include <vector>

namespace vl
{

struct Span
{
    float low, high;
};

namespace dice
{
constexpr Span svang { 0.45f, 1.0f };
constexpr Span skiva { 0.0f, 0.35f };
constexpr Span band { 0.1f, 0.5f };
constexpr Span glid { 0.15f, 0.6f };
constexpr Span kickLevel { 0.72f, 0.9f };
constexpr Span bassLevel { 0.55f, 0.8f };
constexpr Span chipLevel { 0.3f, 0.65f };
constexpr Span density { 0.3f, 0.65f };
constexpr Span drift { 0.15f, 0.55f };
constexpr Span colour { -0.5f, 0.5f };
constexpr Span spread { 0.0f, 0.8f };
constexpr Span reverse { 0.0f, 0.25f };
constexpr Span ghostReverse { 0.3f, 0.7f };
constexpr Span length { 0.35f, 1.0f };
constexpr Span kickTone { 44.0f, 56.0f };
constexpr int grooves = 7;   // the table grooves; EGEN only when the user has made one
constexpr int scales = 5;
constexpr int ages = 4;
} // namespace dice

using ParameterValues = std::vector<std::pair<juce::String, float>>;

// New values for every lane parameter a die may touch; frys, tyst, steg, ålder and låda stay the user's.
ParameterValues randomLaneValues (int lane, juce::Random& random);

// Key, scale, groove, colour, record and tape, kick tone and all eight lanes.
ParameterValues randomAllValues (juce::Random& random, bool egenAvailable);

} // namespace vl
