// RÖST: a gliding pulse train through three formant band-passes, morphing between two vowels.
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
// F1, F2, F3 of eight vowels, in Hz.
constexpr double F[8][3] = {
    { 800, 1200, 2500 }, { 450, 1900, 2600 }, { 300, 2250, 3000 }, { 450, 800, 2600 },
    { 320, 750, 2400 },  { 650, 1700, 2500 }, { 400, 1500, 2400 }, { 300, 1800, 2200 },
};

constexpr double formantQ[3] = { 9.0, 12.0, 15.0 };

// The swept filters are set up again every 32 samples (0.67 ms), never per sample.
constexpr int sweepInterval = 32;
} // namespace

std::shared_ptr<const Virl> rost (std::uint32_t seed)
{
    gv::Rng rng (seed);
    gv::Rng noise (seed ^ 0x99u);

    const auto vowelA = rng.next() & 7u;
    auto vowelB = vowelA;
    if (rng.uniform() < 0.5)
        vowelB = rng.next() & 7u;
    const int n = samplesFor (70.0 + 260.0 * rng.uniform());
    const double f0 = 95.0 + 160.0 * rng.uniform();
    const double semitones = static_cast<double> (rng.next() % 7u) - 3.0;
    const double glide = f0 * (std::pow (2.0, semitones / 12.0) - 1.0);
    const bool breath = rng.uniform() < 0.6;
    const int breathLength = static_cast<int> ((0.008 + 0.02 * rng.uniform()) * rate);
    Svf breathFilter (2500.0 + 4000.0 * rng.uniform(), 2.0);

    std::array<Svf, 3> formants { Svf (F[vowelA][0], formantQ[0]), Svf (F[vowelA][1], formantQ[1]),
                                  Svf (F[vowelA][2], formantQ[2]) };
    double phase = 0.0;
    std::vector<float> out (static_cast<std::size_t> (n));
    for (int i = 0; i < n; ++i)
    {
        const double t = i / rate;
        const double pos = static_cast<double> (i) / n;

        // A 5.5 Hz vibrato of 0.6 % on top of the glide.
        const double frequency = (f0 + glide * pos * pos) * (1.0 + 0.006 * std::sin (2.0 * pi * 5.5 * t));
        const double pulse = advance (phase, frequency / rate) ? 6.0 : 0.0;
        const double x = pulse + 0.06 * bipolar (noise);

        if (i % sweepInterval == 0)
            for (std::size_t j = 0; j < formants.size(); ++j)
                formants[j].setup (F[vowelA][j] + (F[vowelB][j] - F[vowelA][j]) * pos, formantQ[j]);

        // 8 % fade-in, last quarter fading out.
        const double env = std::clamp (pos / 0.08, 0.0, 1.0) * std::clamp (4.0 * (1.0 - pos), 0.0, 1.0);
        double y = env * (formants[0].bandPass (x) + 0.6 * formants[1].bandPass (x) + 0.3 * formants[2].bandPass (x));
        if (breath && i < breathLength)
            y += 0.6 * breathFilter.bandPass (bipolar (noise)) * (1.0 - static_cast<double> (i) / breathLength);
        out[static_cast<std::size_t> (i)] = static_cast<float> (y);
    }

    const auto brightness = static_cast<float> (0.35 + 0.2 * rng.uniform());
    const auto pitch = static_cast<float> (69.0 + 12.0 * std::log2 (f0 / 440.0));
    return make (std::move (out), 2, pitch, brightness, 0.15f, seed);
}

} // namespace vl::factory
