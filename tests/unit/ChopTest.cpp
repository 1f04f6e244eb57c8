// The chopper: where it cuts, what a chip looks like, and which box it lands in.
#include "material/Chop.h"
#include "material/ChopStages.h"

#include "family/Random.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <numbers>
#include <string>
#include <vector>

namespace
{

using namespace vl::chopping;

constexpr double twoPi = 2.0 * std::numbers::pi;

struct Stereo
{
    std::vector<float> left, right;

    int frames() const { return static_cast<int> (left.size()); }
};

Stereo fromMono (const std::vector<float>& mono) { return { mono, mono }; }

std::vector<float> silence (int n) { return std::vector<float> ((std::size_t) n, 0.0f); }

std::vector<float> sine (double hz, int n, double amplitude = 0.5, double sampleRate = rate)
{
    std::vector<float> x ((std::size_t) n);
    for (int i = 0; i < n; ++i)
        x[(std::size_t) i] = static_cast<float> (amplitude * std::sin (twoPi * hz * i / sampleRate));
    return x;
}

// A kick-like hit: a falling 150 Hz tone with a fast exponential decay, starting at full level.
std::vector<float> drumHit (int n, double sampleRate = rate)
{
    std::vector<float> x ((std::size_t) n);
    double phase = 0.0;
    for (int i = 0; i < n; ++i)
    {
        const double t = i / sampleRate;
        phase += twoPi * (60.0 + 90.0 * std::exp (-t * 40.0)) / sampleRate;
        x[(std::size_t) i] = static_cast<float> (0.8 * std::exp (-t * 30.0) * std::sin (phase + 0.5));
    }
    return x;
}

std::vector<float> noise (int n, double amplitude, std::uint32_t seed)
{
    gv::Rng rng (seed);
    std::vector<float> x ((std::size_t) n);
    for (auto& v : x)
        v = static_cast<float> (amplitude * (2.0 * rng.uniform() - 1.0));
    return x;
}

std::vector<float> concat (std::initializer_list<std::vector<float>> parts)
{
    std::vector<float> x;
    for (const auto& p : parts)
        x.insert (x.end(), p.begin(), p.end());
    return x;
}

auto chopped (const Stereo& s, double sampleRate = rate, int maxChips = 120, std::uint32_t seed = 1, int forcedBox = -1)
{
    return vl::chop (s.left.data(), s.right.data(), s.frames(), sampleRate, maxChips, seed, forcedBox);
}

double rms (const std::vector<float>& l, const std::vector<float>& r)
{
    double sum = 0.0;
    for (std::size_t i = 0; i < l.size(); ++i)
        sum += (double (l[i]) * l[i] + double (r[i]) * r[i]) * 0.5;
    return std::sqrt (sum / static_cast<double> (l.size()));
}

float peakOf (const std::vector<float>& x)
{
    float p = 0.0f;
    for (float v : x)
        p = std::max (p, std::fabs (v));
    return p;
}

bool signChanges (const std::vector<float>& mono, int i) { return (mono[(std::size_t) i] >= 0.0f) != (mono[(std::size_t) i + 1] >= 0.0f); }

TEST (Chop, DrumHitGivesOneChipThatStartsAndEndsOnZero)
{
    struct Case
    {
        const char* name;
        std::vector<float> mono;
        int chipFrames;
    };
    const Case cases[] = {
        { "hit alone", drumHit (3840), 3840 },
        // The silent lead-in becomes a silent slice and is skipped; the cut sits 1 ms before the hit.
        { "hit between silences", concat ({ silence (4800), drumHit (3840), silence (4800) }), 4800 + 3840 + 48 },
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE (c.name);
        const auto chips = chopped (fromMono (c.mono));
        ASSERT_EQ (chips.size(), 1u);
        const auto& chip = *chips[0];
        ASSERT_EQ (chip.frames(), c.chipFrames);
        EXPECT_EQ (chip.right.size(), chip.left.size());
        EXPECT_EQ (chip.sampleRate, 48000.0f);
        EXPECT_EQ (chip.left.front(), 0.0f);
        EXPECT_EQ (chip.right.front(), 0.0f);
        EXPECT_EQ (chip.left.back(), 0.0f);
        EXPECT_EQ (chip.right.back(), 0.0f);
        EXPECT_GE (chip.box, 0);
        EXPECT_LE (chip.box, 4);
    }
}

TEST (Chop, DroneIsCutIntoShortPiecesAtZeroCrossings)
{
    // Two sines keep zero crossings less than 400 samples apart but not evenly spaced.
    auto drone = sine (110.0, 96000, 0.3);
    const auto upper = sine (173.0, 96000, 0.1);
    for (std::size_t i = 0; i < drone.size(); ++i)
        drone[i] += upper[i];

    const auto slices = cutSlices (drone, {}, 77);
    ASSERT_GE (slices.size(), 6u);
    EXPECT_EQ (slices.front().start, 0);
    EXPECT_EQ (slices.back().end, 96000);
    for (std::size_t k = 0; k + 1 < slices.size(); ++k)
    {
        SCOPED_TRACE ("piece " + std::to_string (k));
        EXPECT_EQ (slices[k].end, slices[k + 1].start) << "pieces follow each other without gaps";
        EXPECT_GE (slices[k].length(), 5760);         // 120 ms
        EXPECT_LT (slices[k].length(), 16800 + 400); // 350 ms, plus the search for a crossing
        EXPECT_TRUE (signChanges (drone, slices[k].end));
    }
    EXPECT_GE (slices.back().length(), 240);
    EXPECT_LE (slices.back().length(), 19200);

    // The same seed gives the same cuts, another seed other cuts.
    EXPECT_EQ (cutSlices (drone, {}, 77), slices);
    EXPECT_NE (cutSlices (drone, {}, 78), slices);

    // Through chop the whole drone comes out as short chips, none lost to silence. (The drone's
    // abrupt start adds attack pieces of about 30 ms in front.)
    const auto chips = chopped (fromMono (drone), rate, 120, 77);
    int total = 0;
    for (const auto& chip : chips)
    {
        EXPECT_LE (chip->frames(), 19200) << "the last remainder may reach 400 ms, no piece more";
        total += chip->frames();
    }
    EXPECT_EQ (total, 96000);
}

TEST (Chop, LongStretchWithoutACrossingIsCutWhereTheDrawSays)
{
    // DC has no zero crossing: every piece keeps its drawn length of 120..350 ms exactly.
    const std::vector<float> dc (48000, 0.25f);
    for (const auto& s : cutSlices (dc, {}, 5))
        if (s.end != 48000)
        {
            EXPECT_GE (s.length(), 5760);
            EXPECT_LE (s.length(), 16800);
        }
}

TEST (Chop, AttackInsideThe30msHoldGetsNoOnsetOfItsOwn)
{
    // Two short clicks into silence; each is detected on its first sample, the onset 1 ms earlier.
    const auto clicks = [] (int gap)
    {
        auto x = silence (20000);
        for (int start : { 5000, 5000 + gap })
            for (int i = 0; i < 48; ++i)
                x[(std::size_t) (start + i)] = (i % 2 == 0 ? 0.5f : -0.5f);
        return x;
    };
    struct Case
    {
        int gapSamples;
        bool secondHasOnset;
    };
    const Case cases[] = {
        { 960, false },  // 20 ms
        { 1400, false }, // 29 ms
        { 9600, true },  // 200 ms
    };
    for (const auto& c : cases)
    {
        const auto onsets = findOnsets (clicks (c.gapSamples));
        ASSERT_FALSE (onsets.empty());
        EXPECT_EQ (onsets.front(), 4952) << "gap " << c.gapSamples;
        const bool found = std::find (onsets.begin(), onsets.end(), 4952 + c.gapSamples) != onsets.end();
        EXPECT_EQ (found, c.secondHasOnset) << "gap " << c.gapSamples;
        for (std::size_t k = 1; k < onsets.size(); ++k)
            EXPECT_GT (onsets[k] - onsets[k - 1], 1440) << "gap " << c.gapSamples;
    }

    EXPECT_TRUE (findOnsets (silence (4800)).empty());
    EXPECT_TRUE (findOnsets (sine (220.0, 4800, 0.001)).empty()) << "below the detection floor";
}

TEST (Chop, SlicesBetweenOnsetsDropShortRemainders)
{
    const auto mono = silence (10000);
    const std::vector<int> onsets { 0, 1000, 1100, 9900 };
    const std::vector<Slice> expected { { 0, 1000 }, { 1100, 9900 } }; // (1000, 1100) and (9900, 10000) are under 5 ms
    EXPECT_EQ (cutSlices (mono, onsets, 1), expected);
}

TEST (Chop, ThinningKeepsAnEvenSpread)
{
    std::vector<Slice> slices;
    for (int k = 0; k < 300; ++k)
        slices.push_back ({ k * 300, k * 300 + 250 });

    const auto kept = thinSlices (slices, 120);
    ASSERT_EQ (kept.size(), 120u);
    const int firstIndices[] = { 0, 2, 5, 7, 10, 12, 15 };
    for (std::size_t j = 0; j < std::size (firstIndices); ++j)
        EXPECT_EQ (kept[j], slices[(std::size_t) firstIndices[j]]) << "j = " << j;
    EXPECT_EQ (kept.back(), slices[297]);

    EXPECT_EQ (thinSlices (slices, 300), slices);
    EXPECT_EQ (thinSlices (slices, 1000), slices);
    EXPECT_TRUE (thinSlices (slices, 0).empty());
}

TEST (Chop, ChipCountNeverPassesTheMaximum)
{
    // 4 s of clicks every 40 ms: 100 attacks, so 101 slices before thinning.
    auto x = silence (192000);
    for (int start = 0; start < 192000; start += 1920)
        for (int i = 0; i < 96; ++i)
            x[(std::size_t) (start + i)] = 0.6f * std::exp (-i / 20.0f) * (i % 2 == 0 ? 1.0f : -1.0f);
    EXPECT_EQ (chopped (fromMono (x), rate, 48).size(), 48u);
    EXPECT_EQ (chopped (fromMono (x), rate, 0).size(), 0u);
}

TEST (Chop, SteadySineIsATonePitchedAtItsNote)
{
    const auto chips = chopped (fromMono (sine (220.0, 48000)));
    int tones = 0;
    for (const auto& chip : chips)
    {
        EXPECT_NEAR (chip->pitch, 57.0f, 0.05f);
        // Strongly periodic but too steady for a voice. The sine's onset leaves a piece of about
        // 30 ms in front, too short for the periodic rules.
        if (chip->frames() > 2400)
        {
            EXPECT_EQ (chip->box, 3) << chip->frames() << " frames";
            ++tones;
        }
    }
    EXPECT_GE (tones, 4);
}

TEST (Chop, ForcedBoxIsTakenAsItIsAndPitchStillMeasured)
{
    for (int box : { 5, 0, 4 })
    {
        const auto chips = chopped (fromMono (sine (220.0, 48000)), rate, 48, 9, box);
        ASSERT_FALSE (chips.empty());
        for (const auto& chip : chips)
        {
            EXPECT_EQ (chip->box, box);
            EXPECT_NEAR (chip->pitch, 57.0f, 0.05f);
        }
    }
}

TEST (Chop, InputAt44kComesOutAt48k)
{
    const int sourceFrames = 3528; // 80 ms at 44.1 kHz
    const auto chips = chopped (fromMono (drumHit (sourceFrames, 44100.0)), 44100.0);
    ASSERT_EQ (chips.size(), 1u);
    EXPECT_EQ (chips[0]->sampleRate, 48000.0f);
    EXPECT_NEAR (chips[0]->frames(), sourceFrames * 48000.0 / 44100.0, 1.0);

    // Linear interpolation: every 48 kHz sample lies between its two source neighbours.
    const auto src = sine (1000.0, 441, 0.5, 44100.0);
    const auto up = resample (src.data(), src.data(), 441, 44100.0);
    ASSERT_EQ (up.left.size(), 480u);
    for (std::size_t i = 0; i < up.left.size(); ++i)
    {
        const double p = i * 44100.0 / 48000.0;
        const auto j = (std::size_t) p;
        const auto j2 = std::min<std::size_t> (j + 1, 440);
        EXPECT_GE (up.left[i], std::min (src[j], src[j2]) - 1e-6f);
        EXPECT_LE (up.left[i], std::max (src[j], src[j2]) + 1e-6f);
    }
}

TEST (Chop, LoudnessAimsAtRmsButSparesPeaks)
{
    // A sine is brought to RMS 0.22 whatever its level.
    for (double amplitude : { 0.01, 0.5, 3.0 })
    {
        const auto chips = chopped (fromMono (sine (220.0, 9600, amplitude)));
        ASSERT_FALSE (chips.empty()) << amplitude;
        for (const auto& chip : chips)
            EXPECT_NEAR (rms (chip->left, chip->right), 0.22, 1e-4) << amplitude;
    }

    // A lone spike over a faint bed would need a gain of about 30: the peak stops it at 0.85.
    auto x = sine (220.0, 9600, 0.01);
    x[4800] = 0.9f;
    const auto chips = chopped (fromMono (x));
    ASSERT_FALSE (chips.empty());
    float peak = 0.0f;
    for (const auto& chip : chips)
        peak = std::max ({ peak, peakOf (chip->left), peakOf (chip->right) });
    EXPECT_NEAR (peak, 0.85f, 1e-5f);
}

TEST (Chop, PitchSearchFindsTheFundamental)
{
    for (double hz : { 80.0, 110.0, 220.0, 440.0, 1000.0 })
    {
        const auto p = findPitch (sine (hz, 9600));
        ASSERT_TRUE (p.has_value()) << hz;
        EXPECT_NEAR (p->f0, hz, hz * 0.01) << hz;
        EXPECT_GT (p->periodicity, 0.9f) << hz;
    }
    const auto n = findPitch (noise (9600, 0.5, 3));
    EXPECT_TRUE (! n.has_value() || n->periodicity < 0.55f);
    EXPECT_FALSE (findPitch (sine (220.0, 1200)).has_value()) << "too short to search";
}

TEST (Chop, SoundsLandInTheirBoxes)
{
    struct Case
    {
        const char* name;
        std::vector<float> mono;
        int box;
    };
    const Case cases[] = {
        { "40 ms hit", drumHit (1920), 0 },               // KLICK: short, dull, loudest at the start
        { "noise burst 60 ms", noise (2880, 0.5, 4), 1 }, // TICK: short and bright
        { "sine 220 Hz", sine (220.0, 9600), 3 },         // TON, after its attack piece
    };
    for (const auto& c : cases)
    {
        const auto chips = chopped (fromMono (c.mono));
        ASSERT_FALSE (chips.empty()) << c.name;
        const auto& chip = *chips.back();
        EXPECT_EQ (chip.box, c.box) << c.name;
        EXPECT_GE (chip.brightness, 0.0f) << c.name;
        EXPECT_LE (chip.brightness, 1.0f) << c.name;
    }
}

TEST (Chop, BoxRulesOnMeasuredFeatures)
{
    const auto pitched = [] (float f0, float periodicity) { return std::optional<Pitch> (Pitch { f0, periodicity }); };
    struct Case
    {
        const char* name;
        Features f;
        int box;
    };
    const Case cases[] = {
        { "periodic, moving, voice range", { 200.0f, 0.1f, 0.1f, 0.0f, 50.0f, 10, pitched (150.0f, 0.9f) }, 2 },
        { "periodic, moving, very bright", { 200.0f, 0.1f, 0.4f, 0.0f, 50.0f, 10, pitched (150.0f, 0.9f) }, 3 },
        { "periodic above voice range", { 200.0f, 0.1f, 0.1f, 0.0f, 50.0f, 10, pitched (600.0f, 0.9f) }, 3 },
        { "half periodic voice", { 100.0f, 0.0f, 0.2f, 0.0f, 50.0f, 10, pitched (150.0f, 0.6f) }, 2 },
        { "periodic but 40 ms", { 40.0f, 0.0f, 0.1f, 0.0f, 5.0f, 10, pitched (150.0f, 0.95f) }, 0 },
        { "short, many crossings", { 100.0f, 0.0f, 0.1f, 0.0f, 50.0f, 3000, std::nullopt }, 1 },
        { "short, dull, late peak", { 100.0f, 0.0f, 0.1f, 0.0f, 50.0f, 10, std::nullopt }, 4 },
        { "short and bright", { 100.0f, 0.0f, 0.42f, 0.0f, 50.0f, 10, std::nullopt }, 1 },
        { "200 ms, very bright", { 200.0f, 0.0f, 0.5f, 0.0f, 5.0f, 10, std::nullopt }, 1 },
        { "300 ms, very bright", { 300.0f, 0.0f, 0.5f, 0.0f, 5.0f, 10, std::nullopt }, 4 },
    };
    for (const auto& c : cases)
        EXPECT_EQ (classify (c.f, static_cast<int> (c.f.durationMs * 48.0f)), c.box) << c.name;
}

TEST (Chop, BadInputGivesNoChipsAndNoCrash)
{
    const auto tone = fromMono (sine (220.0, 4800));
    const auto nan = std::numeric_limits<float>::quiet_NaN();
    const auto inf = std::numeric_limits<float>::infinity();
    struct Case
    {
        const char* name;
        std::function<std::vector<std::shared_ptr<const vl::Virl>>()> run;
    };
    const Case cases[] = {
        { "no frames", [&] { return vl::chop (tone.left.data(), tone.right.data(), 0, rate, 120, 1, -1); } },
        { "63 frames", [&] { return vl::chop (tone.left.data(), tone.right.data(), 63, rate, 120, 1, -1); } },
        { "negative count", [&] { return vl::chop (tone.left.data(), tone.right.data(), -5, rate, 120, 1, -1); } },
        { "no channels", [&] { return vl::chop (nullptr, nullptr, 4800, rate, 120, 1, -1); } },
        { "zero rate", [&] { return chopped (tone, 0.0); } },
        { "negative rate", [&] { return chopped (tone, -44100.0); } },
        { "NaN rate", [&] { return chopped (tone, std::numeric_limits<double>::quiet_NaN()); } },
        { "silence", [&] { return chopped (fromMono (silence (48000))); } },
        { "below the silence floor", [&] { return chopped (fromMono (sine (220.0, 48000, 0.0029))); } },
        { "all NaN", [&] { return chopped (fromMono (std::vector<float> (48000, nan))); } },
        { "all infinite", [&] { return chopped (fromMono (std::vector<float> (48000, inf))); } },
    };
    for (const auto& c : cases)
        EXPECT_TRUE (c.run().empty()) << c.name;
}

TEST (Chop, StrayNonFiniteSamplesNeverReachAChip)
{
    auto x = drumHit (9600);
    for (std::size_t i = 100; i < x.size(); i += 977)
        x[i] = (i % 2 == 0) ? std::numeric_limits<float>::quiet_NaN() : -std::numeric_limits<float>::infinity();

    const auto chips = chopped (fromMono (x));
    ASSERT_FALSE (chips.empty());
    for (const auto& chip : chips)
    {
        for (std::size_t i = 0; i < chip->left.size(); ++i)
        {
            ASSERT_TRUE (std::isfinite (chip->left[i]) && std::isfinite (chip->right[i])) << "sample " << i;
            ASSERT_LE (std::fabs (chip->left[i]), 0.85f + 1e-5f);
        }
        EXPECT_TRUE (std::isfinite (chip->brightness));
        EXPECT_TRUE (std::isfinite (chip->pitch));
    }
}

} // namespace
