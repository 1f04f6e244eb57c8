// Whatever way a host reports its transport, VIRL plays at the host's tempo and stops when the host
// stops: a position every block with a beat, only on changes (jalv, Ardour), or without a beat.
#include "HostTestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace
{

using namespace virltest;

// The left channel of a 24-bit stereo WAV as written by the render tool (44-byte header).
std::vector<float> leftChannel (const std::string& bytes)
{
    std::vector<float> left;
    for (size_t at = 44; at + 6 <= bytes.size(); at += 6)
    {
        std::int32_t v = (std::uint8_t) bytes[at] | ((std::uint8_t) bytes[at + 1] << 8) | ((std::int8_t) bytes[at + 2] << 16);
        left.push_back ((float) v / 8388608.0f);
    }
    return left;
}

// Times (s) of the kick's attacks: a 10 ms block that jumps well above a quiet one before it.
std::vector<double> attacks (const std::vector<float>& x, double rate)
{
    constexpr size_t block = 480; // 10 ms: half a period of the kick's lowest tone, so no block falls between peaks
    std::vector<double> times;
    float previous = 1.0f;
    for (size_t start = 0; start + block <= x.size(); start += block)
    {
        float peak = 0.0f;
        for (size_t i = start; i < start + block; ++i)
            peak = std::max (peak, std::abs (x[i]));
        if (peak > 0.35f && previous < 0.3f)
            times.push_back ((double) start / rate);
        previous = peak;
    }
    return times;
}

std::string kickOnly()
{
    std::string sets;
    for (int lane = 1; lane < 8; ++lane)
        sets += " --set l" + std::to_string (lane) + "_tyst=1";
    return sets + " --set skiva=0";
}

struct Style
{
    const char* name;
};

class TransportStyle : public testing::TestWithParam<Style>
{
};

TEST_P (TransportStyle, KickFollowsTheHostTempoAndStop)
{
    TempDir dir;
    const auto wav = dir.file ("kick.wav");
    const auto [status, output] = runCommand (render (std::string ("--seconds 8 --tempo 100 --stop 6 --transport ") + GetParam().name
                                                      + kickOnly() + " -o '" + wav + "'"));
    ASSERT_EQ (status, 0) << output;
    const auto times = attacks (leftChannel (readBytes (wav)), 48000.0);
    ASSERT_GE (times.size(), 8u) << GetParam().name;
    for (size_t i = 1; i < times.size(); ++i)
        EXPECT_NEAR (times[i] - times[i - 1], 0.6, 0.015) << GetParam().name << ": a beat at 100 BPM, attack " << i;
    EXPECT_LT (times.back(), 6.0) << "nothing new starts after the host stops";
}

INSTANTIATE_TEST_SUITE_P (Hosts, TransportStyle, testing::Values (Style { "every" }, Style { "change" }, Style { "nobeat" }, Style { "jalv" }),
                          [] (const auto& info) { return std::string (info.param.name); });

TEST (TransportStyle, NoPositionAtAllFreeRunsAt124)
{
    TempDir dir;
    const auto wav = dir.file ("free.wav");
    const auto [status, output] = runCommand (render ("--seconds 6 --tempo 90 --transport none" + kickOnly() + " -o '" + wav + "'"));
    ASSERT_EQ (status, 0) << output;
    const auto times = attacks (leftChannel (readBytes (wav)), 48000.0);
    ASSERT_GE (times.size(), 6u);
    for (size_t i = 1; i < times.size(); ++i)
        EXPECT_NEAR (times[i] - times[i - 1], 60.0 / 124.0, 0.015);
}

} // namespace
