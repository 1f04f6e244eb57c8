#include "plugin/GrooveExtraction.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <optional>
#include <vector>

namespace vl
{

namespace
{
constexpr int steps = 16;
constexpr double minSeconds = 1.0;
constexpr double maxSeconds = 32.0; // a loop longer than this is read from its start only
constexpr double minBpm = 70.0;
constexpr double maxBpm = 180.0;
constexpr double likelyBpm = 125.0; // between two octaves that fit equally, the one nearer this wins
constexpr float maxOffset = 0.45f;   // keeps a hit inside its own sixteenth, as the engine does
constexpr float quietShare = 0.45f;
constexpr int minOnsets = 4;

struct Onset
{
    double time;  // seconds
    float level;  // RMS of the hit's first 10 ms above what sounded before it
    long grid = 0; // sixteenth index from the loop start, once the grid is known
    double offset = 0; // sixteenths from that grid point
};

// ---- Onsets ----------------------------------------------------------------------------------

// A hit is a rise of at least 8 dB in a 3 ms window over the loudest 3 ms of the 30 ms before it,
// in the signal itself or in its first difference (which lifts hats above a bass line). Comparing
// with the loudest window rather than the mean keeps noise and low drones, whose short windows
// swing with the waveform, from reading as hits.
constexpr double riseRatio = 6.3; // 8 dB in energy
constexpr int windowHops = 3;
constexpr int lookBackHops = 30;
constexpr int minGapHops = 30; // two hits closer than 30 ms are one (a flam, a rattle)

struct Band
{
    std::vector<float> signal;
    std::vector<double> energy; // per 1 ms hop
    std::vector<double> window; // mean of the next 3 hops
    std::vector<double> before; // loudest window ending before the hop
};

Band makeBand (std::vector<float> signal, int hop)
{
    Band b;
    const auto hops = signal.size() / static_cast<std::size_t> (hop);
    b.energy.assign (hops, 0.0);
    for (std::size_t k = 0; k < hops; ++k)
        for (int i = 0; i < hop; ++i)
            b.energy[k] += static_cast<double> (signal[k * static_cast<std::size_t> (hop) + static_cast<std::size_t> (i)])
                           * signal[k * static_cast<std::size_t> (hop) + static_cast<std::size_t> (i)];

    b.window.assign (hops, 0.0);
    for (std::size_t k = 0; k < hops; ++k)
    {
        const auto end = std::min (hops, k + windowHops);
        for (auto j = k; j < end; ++j)
            b.window[k] += b.energy[j] / windowHops;
    }

    // Before the clip there is silence, so a hit on its first sample counts.
    b.before.assign (hops, 0.0);
    for (std::size_t k = 0; k < hops; ++k)
    {
        const auto first = k >= lookBackHops ? k - lookBackHops : 0;
        for (auto j = first; j + windowHops <= k; ++j)
            b.before[k] = std::max (b.before[k], b.window[j]);
    }
    b.signal = std::move (signal);
    return b;
}

double rise (const Band& b, std::size_t k, double floor) { return (b.window[k] + floor) / (b.before[k] + floor); }

// The first sample of the hit: where the band first reaches 30% of the hit's peak, searched from a
// little before the detecting window, and above the level that sounded before.
double refineTime (const Band& b, std::size_t k, int hop, double sampleRate)
{
    const auto n = b.signal.size();
    const auto begin = (k >= 3 ? k - 3 : 0) * static_cast<std::size_t> (hop);
    const auto end = std::min (n, (k + 6) * static_cast<std::size_t> (hop));
    float peak = 0.0f;
    for (auto i = begin; i < end; ++i)
        peak = std::max (peak, std::fabs (b.signal[i]));
    const auto floorLevel = static_cast<float> (3.0 * std::sqrt (b.before[k] / hop));
    const float threshold = std::min (0.8f * peak, std::max (0.3f * peak, floorLevel));
    for (auto i = begin; i < end; ++i)
        if (std::fabs (b.signal[i]) >= threshold)
            return static_cast<double> (i) / sampleRate;
    return static_cast<double> (begin) / sampleRate;
}

float hitLevel (const Band& full, std::size_t firstHop, int hop)
{
    constexpr std::size_t levelHops = 10;
    const auto end = std::min (full.energy.size(), firstHop + levelHops);
    if (firstHop >= end)
        return 0.0f;
    double sum = 0.0;
    for (auto k = firstHop; k < end; ++k)
        sum += full.energy[k];
    const double meanSquare = sum / static_cast<double> ((end - firstHop) * static_cast<std::size_t> (hop));
    const double beforeSquare = full.before[firstHop] / hop;
    return static_cast<float> (std::sqrt (std::max (0.0, meanSquare - beforeSquare)));
}

std::vector<Onset> findOnsets (const float* mono, int frames, double sampleRate)
{
    const int hop = std::max (1, static_cast<int> (std::lround (sampleRate / 1000.0)));
    std::vector<float> plain (mono, mono + frames);
    std::vector<float> bright (plain.size());
    for (std::size_t i = 0; i < plain.size(); ++i)
        bright[i] = plain[i] - (i > 0 ? plain[i - 1] : 0.0f);

    std::vector<Band> bands;
    bands.push_back (makeBand (std::move (plain), hop));
    bands.push_back (makeBand (std::move (bright), hop));

    // 60 dB below the loudest window: rises out of near-silence (dither, a fade) are not hits.
    std::vector<double> floors;
    for (const auto& b : bands)
        floors.push_back (1.0e-6 * *std::max_element (b.window.begin(), b.window.end()) + 1.0e-30);

    const auto hops = bands[0].energy.size();
    struct Rise
    {
        double ratio = 0.0;
        std::size_t band = 0;
    };
    auto strongest = [&] (std::size_t k)
    {
        Rise best;
        for (std::size_t i = 0; i < bands.size(); ++i)
            if (const double r = rise (bands[i], k, floors[i]); r > best.ratio)
                best = { r, i };
        return best;
    };

    std::vector<Onset> onsets;
    for (std::size_t k = 0; k < hops; ++k)
    {
        if (strongest (k).ratio < riseRatio)
            continue;
        // The rise keeps growing while the window fills with the hit; take its top.
        auto top = k;
        for (auto j = k + 1; j < std::min (hops, k + 5); ++j)
            if (strongest (j).ratio > strongest (top).ratio)
                top = j;
        const double time = refineTime (bands[strongest (top).band], top, hop, sampleRate);
        const auto firstHop = static_cast<std::size_t> (time * sampleRate) / static_cast<std::size_t> (hop);
        onsets.push_back ({ time, hitLevel (bands[0], firstHop, hop) });
        k = top + minGapHops - 1;
    }
    return onsets;
}

// ---- Tempo and grid --------------------------------------------------------------------------

// How well the hits sit on a grid of this period: the length of the mean of their phase vectors,
// louder hits counting more. 1 = every hit on a grid point.
std::complex<double> resultant (const std::vector<Onset>& onsets, double period)
{
    std::complex<double> sum;
    double weight = 0.0;
    for (const auto& o : onsets)
    {
        sum += static_cast<double> (o.level) * std::polar (1.0, 2.0 * std::numbers::pi * o.time / period);
        weight += o.level;
    }
    return weight > 0.0 ? sum / weight : std::complex<double> {};
}

double bpmOf (double sixteenth) { return 60.0 / (4.0 * sixteenth); }

// Weighs between octaves that fit alike: half an octave from 125 BPM costs about 30%.
double tempoPrior (double sixteenth)
{
    const double octaves = std::log2 (bpmOf (sixteenth) / likelyBpm);
    return std::exp (-0.5 * octaves * octaves / 0.36);
}

// Sixteenth lengths that make the clip a whole number of bars in the tempo range.
std::vector<double> wholeBarPeriods (double seconds)
{
    std::vector<double> periods;
    for (int bars : { 1, 2, 4, 8 })
        if (const double p = seconds / (steps * bars); bpmOf (p) >= minBpm && bpmOf (p) <= maxBpm)
            periods.push_back (p);
    return periods;
}

// The best period within ±`range` (relative) of `period` on the plain resultant: a coarse look,
// then a fine one around its winner.
double polish (const std::vector<Onset>& onsets, double period, double range)
{
    double best = period;
    for (double r : { range, range / 20.0 })
    {
        const double centre = best;
        for (int i = -20; i <= 20; ++i)
            if (const double p = centre * std::exp (r * i / 20.0); std::abs (resultant (onsets, p)) > std::abs (resultant (onsets, best)))
                best = p;
    }
    return best;
}

// Tries every period of the tempo range, finer than the grid can drift by 1/50 sixteenth across
// the clip from one try to the next.
double scanPeriods (const std::vector<Onset>& onsets)
{
    const double shortest = 60.0 / (4.0 * maxBpm);
    const double longest = 60.0 / (4.0 * minBpm);
    const double span = std::max (onsets.back().time - onsets.front().time, shortest);
    const double step = 0.02 * shortest / span;

    auto score = [&] (double p) { return std::abs (resultant (onsets, p)) * tempoPrior (p); };
    double best = shortest;
    for (double lp = std::log (shortest); lp <= std::log (longest); lp += step)
        if (const double p = std::exp (lp); score (p) > score (best))
            best = p;
    return polish (onsets, best, step);
}

// Puts every hit on its nearest grid point. Step 0 is the grid point nearest the clip's start,
// and the grid is shifted so that the hits on the downbeats sit on it on average: a groove's
// timing is measured against its own downbeats.
void placeOnGrid (std::vector<Onset>& onsets, double period)
{
    const double turn = std::arg (resultant (onsets, period)) / (2.0 * std::numbers::pi);
    double phase = turn * period;

    auto assign = [&]
    {
        for (auto& o : onsets)
        {
            const double position = (o.time - phase) / period;
            o.grid = std::lround (position);
            o.offset = position - static_cast<double> (o.grid);
        }
    };
    auto meanOffset = [&] (int every)
    {
        double sum = 0.0;
        int count = 0;
        for (const auto& o : onsets)
            if (o.grid % every == 0)
                sum += o.offset, ++count;
        return count > 0 ? std::optional (sum / count) : std::nullopt;
    };

    assign();
    const auto downbeats = meanOffset (steps);
    phase += period * downbeats.value_or (meanOffset (4).value_or (0.0));
    phase -= period * std::round (phase / period);
    assign();
}

// How tightly the hits keep their places once on the grid: the resultant of their offsets taken
// separately for the on-eighth and the off-eighth sixteenths, so swing does not count as spread.
double steadiness (const std::vector<Onset>& onsets)
{
    std::array<std::complex<double>, 2> sums {};
    double weight = 0.0;
    for (const auto& o : onsets)
    {
        sums[static_cast<std::size_t> (o.grid & 1)] += static_cast<double> (o.level) * std::polar (1.0, 2.0 * std::numbers::pi * o.offset);
        weight += o.level;
    }
    return weight > 0.0 ? (std::abs (sums[0]) + std::abs (sums[1])) / weight : 0.0;
}

// The period that best explains the hits of the same step in different bars: a least-squares fit
// of time against grid index with an intercept per step, so heavy swing on some steps cannot pull
// the period as it pulls the plain resultant. Needs a step played in two bars at least.
double refinePeriod (const std::vector<Onset>& onsets, double period)
{
    std::array<double, steps> sumN {}, sumT {};
    std::array<int, steps> count {};
    for (const auto& o : onsets)
    {
        const auto s = static_cast<std::size_t> (((o.grid % steps) + steps) % steps);
        sumN[s] += static_cast<double> (o.grid), sumT[s] += o.time, ++count[s];
    }
    double covariance = 0.0, variance = 0.0;
    for (const auto& o : onsets)
    {
        const auto s = static_cast<std::size_t> (((o.grid % steps) + steps) % steps);
        const double dn = static_cast<double> (o.grid) - sumN[s] / count[s];
        covariance += dn * (o.time - sumT[s] / count[s]);
        variance += dn * dn;
    }
    if (variance <= 0.0)
        return period;
    const double fitted = covariance / variance;
    return std::fabs (fitted / period - 1.0) < 0.03 ? fitted : period;
}

// A clip that is a whole number of bars is most likely exactly that, so those periods come first.
// Scattered hits fit some grid by luck the more easily the fewer they are and the more grids are
// tried, so the fit must be steady over enough hits: steadiness·√hits of at least 2.6 on a
// whole-bar grid (seven hits on their places), 3.5 on a scanned one, where scattered hits reach 3.4
// and a played loop of a dozen hits 3.6 and more.
constexpr double minSteadiness = 0.8;
constexpr double minHintedEvidence = 2.6;
constexpr double minScannedEvidence = 3.5;

bool isSteady (const std::vector<Onset>& onsets, double minEvidence)
{
    const double steady = steadiness (onsets);
    return steady >= minSteadiness && steady * std::sqrt (static_cast<double> (onsets.size())) >= minEvidence;
}

std::optional<double> chooseGrid (std::vector<Onset>& onsets, double seconds)
{
    std::optional<double> best;
    double bestScore = 0.0;
    for (double hinted : wholeBarPeriods (seconds))
    {
        const double p = polish (onsets, hinted, 0.03);
        placeOnGrid (onsets, p);
        if (const double score = steadiness (onsets) * tempoPrior (p); isSteady (onsets, minHintedEvidence) && score > bestScore)
            best = p, bestScore = score;
    }
    if (! best)
    {
        const double p = scanPeriods (onsets);
        placeOnGrid (onsets, p);
        if (isSteady (onsets, minScannedEvidence))
            best = p;
    }
    if (best)
    {
        placeOnGrid (onsets, *best);
        best = refinePeriod (onsets, *best);
        placeOnGrid (onsets, *best);
    }
    return best;
}

// ---- Measuring the steps ---------------------------------------------------------------------

struct Step
{
    std::vector<double> offsets;
    std::vector<float> levels;
    int occurrences = 0; // how often the clip passes this step
};

float mean (const std::vector<float>& v)
{
    float sum = 0.0f;
    for (float x : v)
        sum += x;
    return v.empty() ? 0.0f : sum / static_cast<float> (v.size());
}

// Fills a step the loop never plays from the played steps at the same place in the other beats
// (the same place in the other eighths, else any step), so a pattern hit there still swings.
void fillUnplayed (std::array<float, steps>& row, const std::array<bool, steps>& played, float fallback)
{
    const auto copy = row;
    for (int s = 0; s < steps; ++s)
    {
        if (played[static_cast<std::size_t> (s)])
            continue;
        row[static_cast<std::size_t> (s)] = fallback;
        for (int every : { 4, 2, 1 })
        {
            float sum = 0.0f;
            int count = 0;
            for (int t = s % every; t < steps; t += every)
                if (played[static_cast<std::size_t> (t)])
                    sum += copy[static_cast<std::size_t> (t)], ++count;
            if (count > 0)
            {
                row[static_cast<std::size_t> (s)] = sum / static_cast<float> (count);
                break;
            }
        }
    }
}

std::array<float, 48> measure (const std::vector<Onset>& onsets, double period, double seconds)
{
    // Grid points whose sixteenth lies in the clip; a hit on a later point belongs to the next pass.
    const long points = std::max (1L, std::lround (std::floor (seconds / period + 0.5)));
    std::vector<const Onset*> atPoint (static_cast<std::size_t> (points), nullptr);
    for (const auto& o : onsets)
        if (o.grid >= 0 && o.grid < points)
            if (auto*& slot = atPoint[static_cast<std::size_t> (o.grid)]; slot == nullptr || o.level > slot->level)
                slot = &o; // two hits on one point: the louder one is the step's hit

    std::array<Step, steps> stepHits;
    for (long n = 0; n < points; ++n)
    {
        auto& step = stepHits[static_cast<std::size_t> (n % steps)];
        ++step.occurrences;
        if (const auto* o = atPoint[static_cast<std::size_t> (n)])
            step.offsets.push_back (o->offset), step.levels.push_back (o->level);
    }

    std::array<float, steps> timing {}, accent {}, ghost {};
    std::array<bool, steps> played {};
    float full = 0.0f;
    for (int s = 0; s < steps; ++s)
        full = std::max (full, mean (stepHits[static_cast<std::size_t> (s)].levels));

    for (int s = 0; s < steps; ++s)
    {
        const auto& step = stepHits[static_cast<std::size_t> (s)];
        if (step.levels.empty())
            continue;
        played[static_cast<std::size_t> (s)] = true;
        double offsetSum = 0.0;
        for (double d : step.offsets)
            offsetSum += d;
        timing[static_cast<std::size_t> (s)] = static_cast<float> (offsetSum / static_cast<double> (step.offsets.size()));

        // Quiet against the step's own loudest hit; a step with only soft hits is judged against
        // half the loop's full level, so a lone ghost on an otherwise empty step still counts.
        const float peak = *std::max_element (step.levels.begin(), step.levels.end());
        const float bar = quietShare * std::max (peak, 0.5f * full);
        std::vector<float> loud;
        int quiet = 0;
        for (float level : step.levels)
            level < bar ? void (++quiet) : loud.push_back (level);
        ghost[static_cast<std::size_t> (s)] = std::min (1.0f, static_cast<float> (quiet) / static_cast<float> (step.occurrences));
        accent[static_cast<std::size_t> (s)] = (loud.empty() ? mean (step.levels) : mean (loud)) / full;
    }

    // Without its ghosts a step can be louder than the full level measured with them; the loudest is 1.0.
    const float loudest = *std::max_element (accent.begin(), accent.end());
    for (auto& a : accent)
        a = loudest > 0.0f ? std::clamp (a / loudest, 0.0f, 1.0f) : 0.0f;

    fillUnplayed (timing, played, 0.0f);
    fillUnplayed (accent, played, 0.5f);

    // Timing is relative to the downbeat, whatever the attack of its sound.
    const float zero = played[0] ? timing[0] : 0.0f;
    std::array<float, 48> dna {};
    for (int s = 0; s < steps; ++s)
    {
        const auto i = static_cast<std::size_t> (s);
        dna[i] = std::clamp (timing[i] - zero, -maxOffset, maxOffset);
        dna[i + steps] = accent[i];
        dna[i + 2 * steps] = ghost[i];
    }
    return dna;
}
} // namespace

std::optional<std::array<float, 48>> extractGroove (const float* mono, int frames, double sampleRate)
{
    if (mono == nullptr || ! std::isfinite (sampleRate) || sampleRate < 8000.0 || sampleRate > 768000.0
        || frames < sampleRate * minSeconds)
        return std::nullopt;

    frames = std::min (frames, static_cast<int> (sampleRate * maxSeconds));
    for (int i = 0; i < frames; ++i)
        if (! std::isfinite (mono[i]))
            return std::nullopt;

    auto onsets = findOnsets (mono, frames, sampleRate);
    if (static_cast<int> (onsets.size()) < minOnsets)
        return std::nullopt;

    const double seconds = frames / sampleRate;
    const auto period = chooseGrid (onsets, seconds);
    if (! period)
        return std::nullopt;
    return measure (onsets, *period, seconds);
}

} // namespace vl
