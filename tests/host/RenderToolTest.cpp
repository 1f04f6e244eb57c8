// The virl-render command line: bad input ends in a message and a non-zero status, good input in a WAV.
#include "HostTestSupport.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <fstream>
#include <iterator>

namespace
{

using namespace virltest;

uint32_t word (const std::string& bytes, size_t at, int size)
{
    uint32_t v = 0;
    for (int i = size - 1; i >= 0; --i)
        v = (v << 8) | (uint8_t) bytes[at + (size_t) i];
    return v;
}

struct BadInput
{
    const char* name;
    std::string arguments; // "%d" is replaced by the test's temporary folder
    int status;
};

class RenderToolRefuses : public ::testing::TestWithParam<BadInput>
{
};

TEST_P (RenderToolRefuses, WithAMessageAndNoCrash)
{
    TempDir dir;
    writeText (dir.file ("garbage.ttl"), "this is { not a state");
    writeText (dir.file ("other.ttl"), "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
                                       "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
                                       "<urn:s> a pset:Preset ; lv2:appliesTo <urn:another:plugin> .\n");
    auto arguments = GetParam().arguments;
    if (const auto at = arguments.find ("%d"); at != std::string::npos)
        arguments.replace (at, 2, dir.path);

    const auto [status, output] = runCommand (render ("--frames 256 " + arguments));
    EXPECT_EQ (status, GetParam().status) << output;
    EXPECT_NE (output.find ("virl-render: "), std::string::npos) << output;
}

INSTANTIATE_TEST_SUITE_P (
    BadInputs, RenderToolRefuses,
    ::testing::Values (BadInput { "UnknownOption", "--bogus", 2 },
                       BadInput { "MissingValue", "--tempo", 2 },
                       BadInput { "ZeroBlock", "--block 0", 2 },
                       BadInput { "EmptyRandomRange", "--blocks random:5..2", 2 },
                       BadInput { "OnlyZeroBlocks", "--blocks 0,0", 2 },
                       BadInput { "BadRate", "--rate 0", 2 },
                       BadInput { "BadMeter", "--meter 4", 2 },
                       BadInput { "MissingPlugin", "--plugin urn:no:such:plugin", 1 },
                       BadInput { "MissingBundle", "--bundle /no/such/bundle.lv2", 1 },
                       BadInput { "UnknownParameter", "--set nosuch=1", 1 },
                       BadInput { "ParameterWithoutNumber", "--set svang=loud", 1 },
                       BadInput { "NoteOutOfRange", "--note 0:128:100:0.1", 1 },
                       BadInput { "NegativeTime", "--stop -1", 1 },
                       BadInput { "BadJump", "--jump 1:x", 1 },
                       BadInput { "BadHexMidi", "--midi 0:9", 1 },
                       BadInput { "MissingStateFile", "--restore-state %d/none.ttl", 1 },
                       BadInput { "GarbageStateFile", "--restore-state %d/garbage.ttl", 1 },
                       BadInput { "OtherPluginsState", "--restore-state %d/other.ttl", 1 },
                       BadInput { "UnwritableWav", "-o /no/such/folder/out.wav", 1 }),
    [] (const auto& info) { return std::string (info.param.name); });

TEST (RenderTool, WritesA24BitStereoWavOfTheAskedLengthAndAStateItCanRestore)
{
    TempDir dir;
    const auto wav = dir.file ("out.wav"), state = dir.file ("state.ttl");
    const auto [status, output] = runCommand (render ("--frames 12345 --blocks random:0..700 --seed 3 --transport jalv "
                                                      "--note 0.01:60:100:0.05 --sysex 0.02:3000 --set svang=1.1@0.1 "
                                                      "--stop 0.15 --jump 0.2:8 --play 0.2 -o '" + wav
                                                      + "' --save-state '" + state + "'"));
    ASSERT_EQ (status, 0) << output;

    const auto bytes = readBytes (wav);
    ASSERT_GE (bytes.size(), 44u);
    EXPECT_EQ (bytes.substr (0, 4), "RIFF");
    EXPECT_EQ (bytes.substr (8, 8), "WAVEfmt ");
    EXPECT_EQ (word (bytes, 22, 2), 2u);      // channels
    EXPECT_EQ (word (bytes, 24, 4), 48000u);  // sample rate
    EXPECT_EQ (word (bytes, 34, 2), 24u);     // bits
    EXPECT_EQ (word (bytes, 40, 4), 12345u * 6u);
    EXPECT_EQ (word (bytes, 4, 4), (uint32_t) bytes.size() - 8u);

    const auto xml = stateXml (readBytes (state));
    ASSERT_TRUE (xml.has_value());
    EXPECT_NEAR (savedParameter (*xml, "svang").value_or (-1.0), 1.1, 1.0e-4);

    const auto again = dir.file ("again.ttl");
    const auto [restored, restoreOutput] = runCommand (render ("--frames 512 --restore-state '" + state
                                                               + "' --restore-delay-ms 50 --save-state '" + again + "'"));
    ASSERT_EQ (restored, 0) << restoreOutput;
    EXPECT_NEAR (savedParameter (stateXml (readBytes (again)).value_or (""), "svang").value_or (-1.0), 1.1, 1.0e-4);
}

} // namespace
