// chop(): resampling, the chip's fades and loudness, and the stages run in order.
#include "material/Chop.h"

#include "material/ChopStages.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <exception>

namespace vl
{

namespace chopping
{

namespace
{
float finiteOrZero (float x) { return std::isfinite (x) ? x : 0.0f; }
} // namespace

Resampled resample (const float* left, const float* right, int n, double sampleRate)
{
    Resampled out;
    if (left == nullptr || right == nullptr || n <= 0 || ! std::isfinite (sampleRate) || sampleRate <= 0.0)
        return out;

    const double ratio = sampleRate / rate;
    const double frames = std::floor (static_cast<double> (n) / ratio);
    if (! (frames < static_cast<double> (INT_MAX)))
        return out;
    const int m = static_cast<int> (frames);

    out.left.resize (static_cast<std::size_t> (m));
    out.right.resize (static_cast<std::size_t> (m));
    out.mono.resize (static_cast<std::size_t> (m));
    for (int i = 0; i < m; ++i)
    {
        const double p = i * ratio;
        // i < m ≤ n / ratio keeps j below n; the min only guards the last rounding step.
        const int j = std::min (static_cast<int> (p), n - 1);
        const int j2 = std::min (j + 1, n - 1);
        const auto f = static_cast<float> (p - j);
        const float l0 = finiteOrZero (left[j]), r0 = finiteOrZero (right[j]);
        const float l = l0 + (finiteOrZero (left[j2]) - l0) * f;
        const float r = r0 + (finiteOrZero (right[j2]) - r0) * f;
        out.left[(std::size_t) i] = l;
        out.right[(std::size_t) i] = r;
        out.mono[(std::size_t) i] = (l + r) * 0.5f;
    }
    return out;
}

void fadeEnds (std::span<float> left, std::span<float> right)
{
    const int len = static_cast<int> (left.size());
    // 1 ms in and 3 ms out on anything longer than a few milliseconds, proportionally less below.
    const int fadeIn = len >= 196 ? 48 : (len >= 4 ? len / 4 : 0);
    const int fadeOut = len > 434 ? 144 : len / 3;

    for (int i = 0; i < fadeIn; ++i)
    {
        const float g = static_cast<float> (i) / static_cast<float> (fadeIn);
        left[(std::size_t) i] *= g;
        right[(std::size_t) i] *= g;
    }
    for (int i = 0; i < fadeOut; ++i)
    {
        const float g = static_cast<float> (i) / static_cast<float> (fadeOut);
        left[(std::size_t) (len - 1 - i)] *= g;
        right[(std::size_t) (len - 1 - i)] *= g;
    }
}

void normaliseLoudness (std::span<float> left, std::span<float> right, float sourcePeak)
{
    if (left.empty())
        return;

    double sum = 0.0;
    for (std::size_t i = 0; i < left.size(); ++i)
        sum += (static_cast<double> (left[i]) * left[i] + static_cast<double> (right[i]) * right[i]) * 0.5;
    const double rms = std::sqrt (sum / static_cast<double> (left.size()));

    // 0.22 RMS evens out the boxes; 0.85 / peak keeps a spiky chip from clipping on its own.
    double gain = rms >= 0.0001 ? 0.22 / rms : 2200.0;
    if (sourcePeak > 0.0f)
        gain = std::min (gain, 0.85 / sourcePeak);

    const auto g = static_cast<float> (gain);
    for (std::size_t i = 0; i < left.size(); ++i)
    {
        left[i] *= g;
        right[i] *= g;
    }
}

} // namespace chopping

namespace
{

using namespace chopping;

// Below this a slice is silence: no chip.
constexpr float silentPeak = 0.003f;

float slicePeak (const Resampled& audio, Slice s)
{
    float peak = 0.0f;
    for (int i = s.start; i < s.end; ++i)
        peak = std::max ({ peak, std::fabs (audio.left[(std::size_t) i]), std::fabs (audio.right[(std::size_t) i]) });
    return peak;
}

std::shared_ptr<const Virl> makeChip (const Resampled& audio, Slice s, float peak, int forcedBox)
{
    auto chip = std::make_shared<Virl>();
    chip->sampleRate = static_cast<float> (rate);
    chip->left.assign (audio.left.begin() + s.start, audio.left.begin() + s.end);
    chip->right.assign (audio.right.begin() + s.start, audio.right.begin() + s.end);
    fadeEnds (chip->left, chip->right);
    normaliseLoudness (chip->left, chip->right, peak);

    const auto features = measure (std::span (audio.mono).subspan ((std::size_t) s.start, (std::size_t) s.length()));
    chip->box = forcedBox == -1 ? classify (features, s.length()) : forcedBox;
    chip->brightness = features.brightness;
    chip->pitch = pitchNote (features);
    return chip;
}

} // namespace

std::vector<std::shared_ptr<const Virl>> chop (const float* left, const float* right, int n, double sampleRate,
                                               int maxChips, std::uint32_t seed, int forcedBox)
{
    std::vector<std::shared_ptr<const Virl>> chips;
    if (n < 64 || maxChips <= 0)
        return chips;

    // A file long enough to exhaust memory yields nothing rather than an exception on the pool.
    try
    {
        const auto audio = resample (left, right, n, sampleRate);
        const auto onsets = findOnsets (audio.mono);
        const auto slices = thinSlices (cutSlices (audio.mono, onsets, seed), maxChips);

        for (const auto s : slices)
        {
            const float peak = slicePeak (audio, s);
            if (peak < silentPeak)
                continue;
            chips.push_back (makeChip (audio, s, peak, forcedBox));
        }
    }
    catch (const std::exception&)
    {
        chips.clear();
    }
    return chips;
}

} // namespace vl
