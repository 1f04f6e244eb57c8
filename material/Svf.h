// The factory's trapezoidal state-variable filter: band, low and high outputs from one step.
#pragma once

#include <algorithm>
#include <cmath>
#include <numbers>

namespace vl::factory
{

class Svf
{
public:
    struct Out
    {
        double band, low, high;
    };

    Svf (double cutoff, double quality) { setup (cutoff, quality); }

    // Keeps the state, so a swept filter moves on without a click.
    void setup (double cutoff, double quality)
    {
        // 21600 Hz = 0.45 of the factory's 48 kHz: tan() stays far from its pole.
        cutoff = std::clamp (cutoff, 10.0, 21600.0);
        quality = std::clamp (quality, 0.3, 30.0);
        const double g = std::tan (std::numbers::pi * cutoff / 48000.0);
        k = 1.0 / quality;
        a1 = 1.0 / (1.0 + g * (g + k));
        a2 = g * a1;
        a3 = g * a2;
    }

    Out process (double x)
    {
        const double d = x - q;
        const double band = a1 * p + a2 * d;
        const double low = q + a2 * p + a3 * d;
        p = 2.0 * band - p;
        q = 2.0 * low - q;
        return { band, low, x - k * band - low };
    }

    double bandPass (double x) { return process (x).band; }
    double lowPass (double x) { return process (x).low; }
    double highPass (double x) { return process (x).high; }

private:
    double k = 1.0, a1 = 0.0, a2 = 0.0, a3 = 0.0;
    double p = 0.0, q = 0.0;
};

} // namespace vl::factory
