// What a slice sounds like: duration, flux, high-frequency share, pitch, and the box that follows.
#include "material/ChopStages.h"

#include <algorithm>
#include <cmath>

namespace vl::chopping
{

namespace
{
// One-pole low-pass at about 4 kHz; what it removes is the "high" in hf.
constexpr double brightLowPass = 0.40761518;

// Lags 40..800 at 48 kHz cover 1200 Hz down to 60 Hz.
constexpr int shortestLag = 40;
constexpr int longestLag = 800;
constexpr int longestWindow = 1440;
constexpr int shortestPitched = 1201;
constexpr double dipThreshold = 0.15;

constexpr int klick = 0, tick = 1, rost = 2, ton = 3, brus = 4;

bool nonNegative (float x) { return x >= 0.0f; }

// Squared difference between the slice and itself τ later, on every other sample: half the cost
// for a window that is still many periods long.
double difference (std::span<const float> x, int lag, int window)
{
    double d = 0.0;
    for (int i = 0; i < window; i += 2)
    {
        const double e = static_cast<double> (x[(std::size_t) i]) - x[(std::size_t) (i + lag)];
        d += e * e;
    }
    return d;
}
} // namespace

std::optional<Pitch> findPitch (std::span<const float> x)
{
    const int len = static_cast<int> (x.size());
    if (len < shortestPitched)
        return std::nullopt;
    const int maxLag = len > 1601 ? longestLag : len / 2;
    const int window = std::min (len - maxLag, longestWindow);
    if (window < 32)
        return std::nullopt;

    // Cumulative-mean normalised difference: d′ = d·τ / Σd. The first lag that dips under the
    // threshold is followed down to its floor; without such a dip the deepest lag wins.
    double sum = 0.0, previous = 1.0;
    int best = -1;
    double bestValue = 0.0;
    for (int lag = 1; lag <= maxLag; ++lag)
    {
        const double d = difference (x, lag, window);
        sum += d;
        const double normalised = sum > 0.0 ? d * lag / sum : 1.0;
        if (lag >= shortestLag)
        {
            if (normalised < dipThreshold && normalised < previous)
            {
                best = lag;
                bestValue = normalised;
            }
            else if (best >= 0 && bestValue < dipThreshold)
                break;
            else if (best < 0 || normalised < bestValue)
            {
                best = lag;
                bestValue = normalised;
            }
        }
        previous = normalised;
    }
    if (best < 0)
        return std::nullopt;
    return Pitch { static_cast<float> (rate / best), static_cast<float> (std::clamp (1.0 - bestValue, 0.0, 1.0)) };
}

Features measure (std::span<const float> x)
{
    Features f;
    const int len = static_cast<int> (x.size());
    f.durationMs = static_cast<float> (len * 1000.0 / rate);
    if (len <= 8)
        return f;

    double energy = 0.0, change = 0.0, high = 0.0, y = 0.0;
    float largest = -1.0f;
    int peakIndex = 0;
    for (int i = 0; i < len; ++i)
    {
        const double v = x[(std::size_t) i];
        energy += v * v;
        if (i > 0)
        {
            const double dv = v - x[(std::size_t) i - 1];
            change += dv * dv;
            f.zeroCrossings += nonNegative (x[(std::size_t) i]) != nonNegative (x[(std::size_t) i - 1]) ? 1 : 0;
        }
        y += (v - y) * brightLowPass;
        high += (v - y) * (v - y);
        if (std::fabs (x[(std::size_t) i]) > largest)
        {
            largest = std::fabs (x[(std::size_t) i]);
            peakIndex = i;
        }
    }
    f.peakMs = static_cast<float> (peakIndex * 1000.0 / rate);

    if (energy > 0.0)
    {
        f.flux = static_cast<float> (std::clamp (0.5 * change / energy, 0.0, 1.0));
        f.hf = static_cast<float> (high / energy);
        f.brightness = std::clamp (1.6f * f.hf + 0.6f * f.flux, 0.0f, 1.0f);
    }
    f.pitch = findPitch (x);
    return f;
}

int classify (const Features& f, int length)
{
    const float periodicity = f.pitch ? f.pitch->periodicity : 0.0f;
    const float f0 = f.pitch ? f.pitch->f0 : 0.0f;
    const bool voiceRange = f0 > 75.0f && f0 < 420.0f;
    const float d = f.durationMs;

    if (periodicity > 0.82f && d > 50.0f)
    {
        // Strongly periodic: a moving, breathy voice-range sound is a voice, anything else a tone.
        if (voiceRange && f.flux > 0.05f && f.hf > 0.01f)
            return f.hf < 0.3f ? rost : ton;
        return ton;
    }
    if (periodicity > 0.55f && voiceRange && d > 60.0f && f.hf < 0.35f)
        return rost;

    if (d < 160.0f)
    {
        const double crossingsPerSecond = length > 0 ? f.zeroCrossings * rate / length : 0.0;
        if (f.hf > 0.38f || crossingsPerSecond > 5500.0)
            return tick;
        if (f.peakMs < 20.0f)
            return klick;
    }
    if (f.hf > 0.45f)
        return d < 260.0f ? tick : brus;
    return brus;
}

float pitchNote (const Features& f)
{
    if (! f.pitch || f.pitch->periodicity <= 0.6f)
        return 0.0f;
    return static_cast<float> (69.0 + 12.0 * std::log2 (f.pitch->f0 / 440.0));
}

} // namespace vl::chopping
