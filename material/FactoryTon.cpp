// TON: pitched stabs: an FM bell, a filtered saw, and two minor-seventh saw chords.
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
// Semitones above the root: a minor-seventh chord.
constexpr std::array<int, 4> chord { 0, 3, 7, 10 };

constexpr int sweepInterval = 32;

double frequencyOf (double note) { return 440.0 * std::pow (2.0, (note - 69.0) / 12.0); }

struct Tone
{
    unsigned variant;
    int note;
    int n;
    double q, fc, ratio;
};

std::vector<float> bell (const Tone& tone)
{
    const double carrierStep = frequencyOf (tone.note + 12) / rate;
    double carrier = 0.0, modulator = 0.0;
    std::vector<float> out (static_cast<std::size_t> (tone.n));
    for (int i = 0; i < tone.n; ++i)
    {
        const double t = i / rate;
        advance (carrier, carrierStep);
        advance (modulator, tone.ratio * carrierStep);
        const double index = 2.5 * std::exp (-t / 0.08);
        out[static_cast<std::size_t> (i)] = static_cast<float> (std::sin (2.0 * pi * carrier + index * std::sin (2.0 * pi * modulator)) * std::exp (-4.0 * t));
    }
    return out;
}

std::vector<float> filteredSaw (const Tone& tone)
{
    const double step = frequencyOf (tone.note) / rate;
    Svf filter (tone.fc, tone.q);
    double phase = 0.0;
    std::vector<float> out (static_cast<std::size_t> (tone.n));
    for (int i = 0; i < tone.n; ++i)
    {
        const double t = i / rate;
        advance (phase, step);
        out[static_cast<std::size_t> (i)] = static_cast<float> (filter.lowPass (2.0 * phase - 1.0) * std::exp (-t / 0.09));
    }
    return out;
}

// Variant 3 is the long, resonant chord; variant 2 the short, soft one.
std::vector<float> sawChord (const Tone& tone)
{
    const bool isLong = tone.variant == 3;
    const double decay = isLong ? 0.18 : 0.07;
    const double q = isLong ? 4.0 : 1.5;

    std::array<double, 4> steps {}, phases {};
    for (std::size_t j = 0; j < chord.size(); ++j)
        steps[j] = frequencyOf (tone.note + chord[j]) / rate;

    Svf filter (300.0 + 3000.0, q);
    std::vector<float> out (static_cast<std::size_t> (tone.n));
    for (int i = 0; i < tone.n; ++i)
    {
        const double t = i / rate;
        double saws = 0.0;
        for (std::size_t j = 0; j < chord.size(); ++j)
        {
            advance (phases[j], steps[j]);
            saws += 2.0 * phases[j] - 1.0;
        }
        // The cutoff closes from 3300 Hz towards 300 Hz a little faster than the level decays.
        if (i % sweepInterval == 0)
            filter.setup (300.0 + 3000.0 * std::exp (-t / (0.6 * decay)), q);
        out[static_cast<std::size_t> (i)] = static_cast<float> (filter.lowPass (0.3 * saws) * std::exp (-t / decay));
    }
    return out;
}
} // namespace

std::shared_ptr<const Virl> ton (std::uint32_t seed)
{
    gv::Rng rng (seed);

    // Every value is drawn whichever variant uses it, so the variant never shifts later draws.
    Tone tone {};
    tone.variant = rng.next() & 3u;
    tone.note = 48 + static_cast<int> (rng.next() % 24u);
    tone.n = samplesFor (tone.variant == 3 ? 260.0 + 200.0 * rng.uniform() : 110.0 + 260.0 * rng.uniform());
    tone.q = 1.2 + 3.0 * rng.uniform();
    tone.fc = 900.0 + 2500.0 * rng.uniform();
    tone.ratio = 1.0 + static_cast<double> (rng.next() % 3u);
    if (rng.uniform() < 0.3)
        tone.ratio += 0.5;

    auto out = tone.variant == 0 ? bell (tone) : tone.variant == 1 ? filteredSaw (tone) : sawChord (tone);

    // 2 ms linear attack.
    for (std::size_t i = 0; i < out.size(); ++i)
        out[i] = static_cast<float> (out[i] * std::min (1.0, (static_cast<double> (i) / rate) / 0.002));

    const auto brightness = static_cast<float> (0.3 + 0.4 * rng.uniform());
    const auto pitch = static_cast<float> (tone.variant == 0 ? tone.note + 12 : tone.note);
    return make (std::move (out), 3, pitch, brightness, 0.3f, seed);
}

} // namespace vl::factory
