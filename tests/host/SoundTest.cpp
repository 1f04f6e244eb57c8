// The default sound through the LV2 binary: audible on both sides, every lane heard, never past -0.3 dBFS.
#include "HostTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace
{

using namespace virltest;

struct Level
{
    double peak = 0.0, rms = 0.0;
};

// Per channel of a 24-bit stereo WAV written by the render tool.
std::array<Level, 2> levels (const std::string& bytes)
{
    std::array<Level, 2> out {};
    std::array<double, 2> sum {};
    size_t frames = 0;
    for (size_t at = 44; at + 6 <= bytes.size(); at += 6, ++frames)
        for (int c = 0; c < 2; ++c)
        {
            const auto* p = bytes.data() + at + 3 * c;
            const std::int32_t v = (std::uint8_t) p[0] | ((std::uint8_t) p[1] << 8) | ((std::int8_t) p[2] << 16);
            const double x = v / 8388608.0;
            out[(size_t) c].peak = std::max (out[(size_t) c].peak, std::abs (x));
            sum[(size_t) c] += x * x;
        }
    for (int c = 0; c < 2; ++c)
        out[(size_t) c].rms = frames > 0 ? std::sqrt (sum[(size_t) c] / (double) frames) : 0.0;
    return out;
}

double dB (double x) { return 20.0 * std::log10 (std::max (x, 1.0e-12)); }

TEST (Sound, DefaultPresetIsAudibleAndUnderTheCeiling)
{
    TempDir dir;
    const auto wav = dir.file ("default.wav");
    const auto [status, output] = runCommand (render ("--seconds 30 --blocks random:1..2048 -o '" + wav + "'"));
    ASSERT_EQ (status, 0) << output;
    for (const auto& level : levels (readBytes (wav)))
    {
        EXPECT_GT (dB (level.rms), -30.0);
        EXPECT_LE (level.peak, 0.96605086 + 1.0 / 8388608.0); // -0.3 dBFS, within one 24-bit step
    }
}

class LaneSolo : public testing::TestWithParam<int>
{
};

TEST_P (LaneSolo, EveryLanePlaysWithinTwoMinutes)
{
    const int lane = GetParam();
    std::string sets = " --set skiva=0";
    for (int other = 0; other < 8; ++other)
        if (other != lane)
            sets += " --set l" + std::to_string (other) + "_tyst=1";
    TempDir dir;
    const auto wav = dir.file ("solo.wav");
    const auto [status, output] = runCommand (render ("--seconds 120" + sets + " -o '" + wav + "'"));
    ASSERT_EQ (status, 0) << output;
    const auto level = levels (readBytes (wav));
    EXPECT_GT (dB (std::max (level[0].rms, level[1].rms)), -60.0) << "lane " << lane;
}

INSTANTIATE_TEST_SUITE_P (Sound, LaneSolo, testing::Range (0, 8));

} // namespace
