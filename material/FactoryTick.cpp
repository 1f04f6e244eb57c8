// TICK: hats from a six-oscillator metallic square cluster or from plain noise.
#include "material/Factory.h"
#include "material/FactoryCommon.h"
#include "material/Svf.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace vl::factory
{

namespace
{
// Inharmonic ratios: six squares that never line up into a pitch.
constexpr std::array<double, 6> metallicRatios { 1.0, 1.342, 1.2312, 1.6532, 1.9523, 2.1523 };

double metallic (std::array<double, 6>& phases, double f0, gv::Rng& noise)
{
    double squares = 0.0;
    for (std::size_t j = 0; j < phases.size(); ++j)
    {
        advance (phases[j], f0 * metallicRatios[j] / rate);
        squares += phases[j] < 0.5 ? 1.0 : -1.0;
    }
    return 0.15 * bipolar (noise) + 0.3 * squares;
}
} // namespace

std::shared_ptr<const Virl> tick (std::uint32_t seed)
{
    gv::Rng rng (seed);
    gv::Rng noise (seed ^ 0x55u);

    // The length and the decay are drawn at fixed places whichever kind of tick this is,
    // so the kind never shifts the draws after it.
    const double f0 = 300.0 + 260.0 * rng.uniform();
    const bool isLong = rng.uniform() < 0.25;
    const bool isNoise = rng.uniform() < 0.25;
    const int n = samplesFor (isLong ? 180.0 + 200.0 * rng.uniform() : 30.0 + 60.0 * rng.uniform());
    Svf a (6000.0 + 4000.0 * rng.uniform(), 0.9);
    Svf b (9000.0 + 3000.0 * rng.uniform(), 1.2);
    const double tau = isLong ? 0.06 + 0.08 * rng.uniform() : 0.008 + 0.02 * rng.uniform();

    std::array<double, 6> phases {};
    std::vector<float> out (static_cast<std::size_t> (n));
    for (int i = 0; i < n; ++i)
    {
        const double t = i / rate;
        const double x = isNoise ? bipolar (noise) : metallic (phases, f0, noise);
        // Noise ticks swell in over 6 ms; metallic ones start at once.
        const double attack = isNoise ? std::min (1.0, t / 0.006) : 1.0;
        const double y = 0.3 * x + 2.0 * b.bandPass (x);
        out[static_cast<std::size_t> (i)] = static_cast<float> (a.highPass (y) * std::exp (-t / tau) * attack);
    }

    const auto brightness = static_cast<float> (0.8 + 0.2 * rng.uniform());
    return make (std::move (out), 1, 0.0f, brightness, 0.35f, seed);
}

} // namespace vl::factory
