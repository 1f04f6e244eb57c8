#include "plugin/Randomise.h"

#include "plugin/Parameters.h"

namespace vl
{

namespace
{
float within (juce::Random& random, Span span)
{
    return span.low + (span.high - span.low) * random.nextFloat();
}

Span levelSpan (int lane)
{
    return lane == 0 ? dice::kickLevel : lane == 1 ? dice::bassLevel : dice::chipLevel;
}
} // namespace

ParameterValues randomLaneValues (int lane, juce::Random& random)
{
    ParameterValues values;
    const auto add = [&] (const char* part, float v) { values.emplace_back (lid (lane, part), v); };
    add ("niva", within (random, levelSpan (lane)));
    add ("tathet", lane == 0 ? 0.5f : within (random, dice::density)); // the kick's four-to-the-floor stays
    add ("drift", lane == 0 ? 0.0f : within (random, dice::drift));
    add ("farg", within (random, dice::colour));
    add ("pan", lane <= 1 ? 0.0f : within (random, dice::spread)); // low end stays centred
    add ("bakl", lane == 7 ? within (random, dice::ghostReverse) : lane <= 1 ? 0.0f : within (random, dice::reverse));
    add ("langd", lane == 0 ? 1.0f : within (random, dice::length));
    return values;
}

ParameterValues randomAllValues (juce::Random& random, bool egenAvailable)
{
    ParameterValues values;
    values.emplace_back ("tonart", (float) random.nextInt (12));
    values.emplace_back ("skala", (float) random.nextInt (dice::scales));
    values.emplace_back ("dna", (float) random.nextInt (egenAvailable ? dice::grooves + 1 : dice::grooves));
    values.emplace_back ("svang", within (random, dice::svang));
    values.emplace_back ("alder", (float) random.nextInt (dice::ages));
    values.emplace_back ("skiva", within (random, dice::skiva));
    values.emplace_back ("band", within (random, dice::band));
    values.emplace_back ("glid", within (random, dice::glid));
    values.emplace_back ("k_ton", within (random, dice::kickTone));
    for (int lane = 0; lane < 8; ++lane)
        for (auto& v : randomLaneValues (lane, random))
            values.push_back (std::move (v));
    return values;
}

} // namespace vl
