// KLICK: resonant clicks, an impulse ringing two band-passes in four shapes.
#include "material/Factory.h"
#include "material/FactoryCommon.h"
#include "material/Svf.h"

#include <algorithm>
#include <cmath>

namespace vl::factory
{

std::shared_ptr<const Virl> klick (std::uint32_t seed)
{
    gv::Rng rng (seed);
    gv::Rng noise (seed * 7u + 1u);

    const auto variant = rng.next() & 3u;
    const int n = samplesFor (40.0 + 120.0 * rng.uniform());
    const double f = 400.0 + 2600.0 * rng.uniform();
    const double f2 = (1.4 + rng.uniform()) * f;
    Svf a (f, 8.0 + 20.0 * rng.uniform());
    Svf b (f2, 6.0 + 14.0 * rng.uniform());
    const double tau = 0.004 + 0.03 * rng.uniform();

    std::vector<float> out (static_cast<std::size_t> (n));
    for (int i = 0; i < n; ++i)
    {
        const double t = i / rate;
        const double w = noise.uniform();
        // Three samples of impulse plus a 2 ms breath of noise.
        const double e = (i < 3 ? 1.0 : 0.0) + 0.15 * (2.0 * w - 1.0) * std::exp (-t / 0.002);
        const double env = std::exp (-t / tau);

        double y = 0.0;
        switch (variant)
        {
            case 0:
            {
                const double body = 3.0 * a.bandPass (e) + 2.0 * b.bandPass (e);
                y = 0.5 * std::sin (pi * f * t) * std::exp (-t / 0.01) + body * env;
                break;
            }
            case 1:
                y = 4.0 * a.bandPass (e) * std::exp (-t / (1.6 * tau));
                break;
            case 2:
                y = 2.0 * a.bandPass (bipolar (noise)) * env;
                break;
            default:
            {
                const double w2 = noise.uniform();
                y = env * ((2.0 * w2 - 1.0) * 0.3 * std::exp (-t / 0.003) + 3.0 * b.bandPass (e));
                break;
            }
        }
        out[static_cast<std::size_t> (i)] = static_cast<float> (y);
    }

    const auto brightness = static_cast<float> (std::clamp (f / 3000.0, 0.0, 1.0));
    return make (std::move (out), 0, 0.0f, brightness, 0.2f, seed);
}

} // namespace vl::factory
