// Shaping mono samples into chips, and the factory bank built from the five recipes.
#include "material/Factory.h"

#include "family/Random.h"
#include "material/FactoryCommon.h"

#include <algorithm>
#include <cmath>
#include <future>
#include <cstddef>
#include <utility>
#include <vector>

namespace vl::factory
{

namespace
{
// 96 samples = 2 ms at 48 kHz: long enough that a chip cut short never clicks.
constexpr int fullFade = 96;

int fadeLength (int n)
{
    if (n > 290)
        return fullFade;
    return n > 2 ? n / 3 : 0;
}

// Delays a copy of the source by 6..23 samples (0.1..0.5 ms) into the right channel: a width
// without a level change.
void spread (const std::vector<float>& source, std::vector<float>& right, float width, std::uint32_t seed)
{
    const std::size_t delay = 6 + gv::lowbias32 (seed) % 18;
    for (std::size_t i = 0; i < source.size(); ++i)
    {
        const float delayed = i >= delay ? source[i - delay] : 0.0f;
        right[i] = source[i] + width * (delayed - source[i]);
    }
}

float sourcePeak (const std::vector<float>& source)
{
    float peak = 1e-6f; // silence keeps its level instead of dividing by zero
    for (const float s : source)
        peak = std::max (peak, std::abs (s));
    return peak;
}

using Recipe = std::shared_ptr<const Virl> (*) (std::uint32_t);
constexpr std::array<Recipe, 5> recipes { klick, tick, rost, ton, brus };
} // namespace

std::shared_ptr<const Virl> make (std::vector<float> samples, int box, float pitch, float brightness, float width, std::uint32_t seed)
{
    auto chip = std::make_shared<Virl>();
    chip->sampleRate = static_cast<float> (rate);
    chip->left = samples;
    chip->right = samples;
    if (width > 0.0f && ! samples.empty())
        spread (samples, chip->right, width, seed);

    // Both channels take the source's gain, so the spread channel may peak a little apart.
    const float gain = 0.8f / sourcePeak (samples);
    for (std::size_t i = 0; i < samples.size(); ++i)
    {
        chip->left[i] *= gain;
        chip->right[i] *= gain;
    }

    const int n = static_cast<int> (samples.size());
    const int fade = fadeLength (n);
    for (int i = 0; i < fade; ++i)
    {
        const float g = static_cast<float> (i) / static_cast<float> (fade);
        chip->left[static_cast<std::size_t> (n - 1 - i)] *= g;
        chip->right[static_cast<std::size_t> (n - 1 - i)] *= g;
    }

    chip->pitch = pitch;
    chip->brightness = brightness;
    chip->box = box;
    return chip;
}

// Every chip depends only on its own seed, so the chips are made on two threads: a project with
// ten instances opens noticeably faster, and the bank is the same as one made in a row.
std::shared_ptr<Bank> build (std::uint32_t seed)
{
    struct Job
    {
        std::size_t box;
        std::uint32_t chipSeed;
    };
    std::vector<Job> jobs;
    for (std::size_t b = 0; b < recipes.size(); ++b)
    {
        const auto boxSeed = gv::hashMix (seed, static_cast<std::uint32_t> (b + 1));
        for (int k = 0; k < boxSizes[b]; ++k)
            jobs.push_back ({ b, gv::hashMix (boxSeed, static_cast<std::uint32_t> (k)) });
    }

    std::vector<std::shared_ptr<const Virl>> chips (jobs.size());
    const auto makeEvery = [&] (std::size_t first) {
        for (std::size_t i = first; i < jobs.size(); i += 2)
            chips[i] = recipes[jobs[i].box] (jobs[i].chipSeed);
    };
    std::future<void> other;
    try
    {
        other = std::async (std::launch::async, makeEvery, std::size_t { 1 });
    }
    catch (const std::system_error&) // no thread to be had: make them all here
    {
        makeEvery (1);
    }
    makeEvery (0);
    if (other.valid())
        other.get();

    auto bank = std::make_shared<Bank>();
    for (std::size_t i = 0; i < jobs.size(); ++i)
        bank->boxes[jobs[i].box].push_back (std::move (chips[i]));
    for (std::size_t b = 0; b < recipes.size(); ++b)
    {
        sortBox (bank->boxes[b]);
        bank->factory[b] = true;
    }
    return bank;
}

} // namespace vl::factory
