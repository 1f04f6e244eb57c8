// Pattern generation: library pick or Euclidean rhythm, plausibility retries, per-step draws.
#include "patterns/Generate.h"

#include "family/Random.h"
#include "family/RhythmLibrary.h"
#include "patterns/Scales.h"

#include <algorithm>
#include <cmath>

namespace vl
{

namespace
{
constexpr int maxAttempts = 12;
constexpr float libraryChance = 0.72f;
constexpr float generatedGhostChance = 0.18f;

std::size_t at (int i) { return static_cast<std::size_t> (i); }

// Step i moves to (i + shift) mod length.
void rotate (Pattern& pattern, int shift)
{
    const int length = pattern.length;
    std::array<Step, maxSteps> moved {};
    for (int i = 0; i < length; ++i)
        moved[at ((i + shift) % length)] = pattern.steps[at (i)];
    std::copy_n (moved.begin(), length, pattern.steps.begin());
}

Pattern kickPattern()
{
    Pattern pattern;
    for (int i = 0; i < 16; i += 4)
    {
        pattern.steps[at (i)].on = true;
        pattern.steps[at (i)].accent = true;
    }
    return pattern;
}

void pickFromLibrary (Pattern& pattern, gv::Role role, float wanted, gv::Rng& rng)
{
    const auto* entry = gv::pickNearest (role, wanted, rng);
    pattern = patternFromText (entry->text);

    // A two-step shift now and then keeps a small library from sounding like one.
    if (rng.uniform() < 0.2f && gv::textLength (*entry) > 7)
        rotate (pattern, rng.uniform() < 0.5f ? 2 : pattern.length - 2);
}

void buildEuclidean (Pattern& pattern, gv::Role role, int length, float wanted, gv::Rng& rng)
{
    pattern.length = length;

    const float spread = (2.0f * rng.uniform() - 1.0f) * 0.6f;
    const int k = std::clamp (static_cast<int> (std::round (spread + static_cast<float> (length) * wanted)), 1, length - 1);
    const int rotation = static_cast<int> (rng.next() % static_cast<std::uint32_t> (length));
    for (int i = 0; i < length; ++i)
        pattern.steps[at (i)].on = ((i + rotation) % length) * k % length < k;

    // Bass and hats start on the off-beat: a hit on the one would sit on the kick.
    const bool pushable = role == gv::Role::bas || role == gv::Role::tick;
    if (pushable && pattern.steps[0].on && rng.uniform() < 0.75f)
        rotate (pattern, 2);

    for (int i = 0; i < length; ++i)
        if (pattern.steps[at (i)].on)
            pattern.steps[at (i)].ghost = rng.uniform() < generatedGhostChance;
}

Pattern rhythmFor (int lane, const LaneGen& gen, float wanted, gv::Rng& rng)
{
    const auto role = static_cast<gv::Role> (lane);

    Pattern candidate;
    for (int attempt = 0; attempt < maxAttempts; ++attempt)
    {
        candidate = Pattern {};
        if (gen.steg > 0)
            buildEuclidean (candidate, role, std::clamp (gen.steg, 3, maxSteps), wanted, rng);
        else if (gen.steg == 0 && ! gv::libraryFor (role).empty() && rng.uniform() < libraryChance)
            pickFromLibrary (candidate, role, wanted, rng);
        else
            buildEuclidean (candidate, role, gv::goodCycle (role, rng), wanted, rng);

        if (isPlausible (lane, candidate))
            break;
    }
    return candidate;
}

void drawStepValues (Pattern& pattern, int lane, const LaneGen& gen, const std::uint16_t (&chips)[3], int variety, gv::Rng& rng)
{
    const auto role = static_cast<gv::Role> (lane);
    const float reverseChance = gen.bakl * 0.8f;

    for (int i = 0; i < pattern.length; ++i)
    {
        auto& step = pattern.steps[at (i)];
        step.chip = variety > 1 ? chips[rng.next() % static_cast<std::uint32_t> (variety)] : chips[0];

        switch (role)
        {
            case gv::Role::bas:
            case gv::Role::ton:
            case gv::Role::rost:
                step.pitch = pickPitch (role, rng);
                step.reverse = rng.uniform() < reverseChance;
                break;
            case gv::Role::spoke:
                // The ghost lane plays backwards more often than not, whatever bakl says.
                step.pitch = pickPitch (role, rng);
                step.reverse = rng.uniform() < 0.6f;
                break;
            default: step.reverse = rng.uniform() < reverseChance; break;
        }
    }
}
} // namespace

Pattern patternFromText (const char* text)
{
    Pattern pattern;
    int length = 0;
    for (; length < maxSteps && text[length] != '\0'; ++length)
    {
        const char c = text[length];
        auto& step = pattern.steps[at (length)];
        step.on = c != '.';
        step.ghost = c == 'g';
        step.accent = c == 'X';
    }
    pattern.length = length;
    return pattern;
}

Pattern generate (int lane, const LaneGen& gen, std::uint32_t seed)
{
    // The four on the floor everything else hangs on; it draws nothing.
    if (lane == kick)
        return kickPattern();

    gv::Rng rng (seed);
    std::uint16_t chips[3];
    for (auto& chip : chips)
        chip = static_cast<std::uint16_t> (rng.next() & 0xffffu);
    const int variety = static_cast<int> (rng.next() % 3u) + 1;

    const float wanted = gv::wantedDensity (static_cast<gv::Role> (lane), gen.tathet);
    auto pattern = rhythmFor (lane, gen, wanted, rng);
    drawStepValues (pattern, lane, gen, chips, variety, rng);

    // Bass on the quarters stays quiet under the kick.
    if (lane == bas)
        for (int i = 0; i < pattern.length; i += 4)
            if (pattern.steps[at (i)].on)
                pattern.steps[at (i)].ghost = true;

    return pattern;
}

} // namespace vl
