// BRUS: noise beds (sweep, burst, crackle, wind), each smeared by an allpass diffuser.
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
constexpr int sweepInterval = 32;

// A single allpass of 1777 samples (37 ms) with gain 0.5: spreads the noise in time without
// colouring its spectrum.
class Diffuser
{
public:
    double process (double x)
    {
        const double d = buffer[(write + size - delay) & mask];
        const double v = x + 0.5 * d;
        buffer[write] = v;
        write = (write + 1) & mask;
        return d - 0.5 * v;
    }

private:
    static constexpr std::size_t size = 4096, mask = size - 1, delay = 1777;
    std::array<double, size> buffer {};
    std::size_t write = 0;
};

double crackle (gv::Rng& noise)
{
    // About three impulses in a thousand samples.
    const double impulse = noise.uniform() < 0.003 ? bipolar (noise) : 0.0;
    return impulse + 0.02 * bipolar (noise);
}
} // namespace

std::shared_ptr<const Virl> brus (std::uint32_t seed)
{
    gv::Rng rng (seed);
    gv::Rng noise (seed ^ 0x77u);

    const auto variant = rng.next() & 3u;
    const int n = samplesFor (180.0 + 220.0 * rng.uniform());
    const double fc = 600.0 + 6000.0 * rng.uniform();

    Svf filter (variant == 0 ? 0.5 * fc : fc, variant == 0 ? 0.8 : variant == 1 ? 0.6 : 3.0);
    Diffuser diffuser;
    std::vector<float> out (static_cast<std::size_t> (n));
    for (int i = 0; i < n; ++i)
    {
        const double pos = static_cast<double> (i) / n;
        const double arch = std::sin (pi * pos);
        double x = 0.0;
        switch (variant)
        {
            case 0:
                if (i % sweepInterval == 0)
                    filter.setup ((pos + 0.5) * fc, 0.8);
                x = filter.bandPass (bipolar (noise)) * arch;
                break;
            case 1:
                x = filter.lowPass (bipolar (noise)) * std::exp (-4.0 * pos);
                break;
            case 2:
                x = crackle (noise);
                break;
            default:
                // Three gusts across the chip.
                x = (0.6 + 0.4 * std::sin (6.0 * pi * pos)) * filter.bandPass (bipolar (noise)) * arch;
                break;
        }
        out[static_cast<std::size_t> (i)] = static_cast<float> (diffuser.process (x));
    }

    const auto brightness = static_cast<float> (std::min (1.0, fc / 6600.0));
    return make (std::move (out), 4, 0.0f, brightness, 0.6f, seed);
}

} // namespace vl::factory
