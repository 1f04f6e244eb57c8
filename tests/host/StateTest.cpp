// Saving and restoring the plug-in's state through lilv, and parameter changes by patch:Set.
#include "HostTestSupport.h"

#include <gtest/gtest.h>

#include <thread>

namespace
{

using namespace virltest;

vh::BlockEvents playingAt (double beat)
{
    vh::BlockEvents events;
    vh::Position p;
    p.beatsPerMinute = 124.0;
    p.bar = (int64_t) (beat / 4.0);
    p.barBeat = beat - 4.0 * (double) p.bar;
    p.beat = beat;
    events.position = p;
    return events;
}

std::string saveOrFail (vh::Instance& instance)
{
    std::string error;
    const auto state = instance.saveState (error);
    EXPECT_TRUE (state.has_value()) << error;
    return state.value_or ("");
}

TEST (State, SavedStateRestoresIntoAFreshInstanceUnchanged)
{
    vh::World world;
    std::string error;
    auto first = makeInstance (world, error);
    ASSERT_NE (first, nullptr) << error;
    for (int block = 0; block < 4; ++block)
        ASSERT_TRUE (first->run (512, playingAt (block * 0.0427), error)) << error;
    const auto saved = saveOrFail (*first);
    ASSERT_TRUE (stateXml (saved).has_value()) << "no JUCE state in:\n" << saved;

    auto second = makeInstance (world, error);
    ASSERT_NE (second, nullptr) << error;
    ASSERT_TRUE (second->restoreState (saved, error)) << error;
    // The engine takes a restored roll at its next chunk; let it run one.
    ASSERT_TRUE (second->run (512, playingAt (0.0), error)) << error;
    const auto again = saveOrFail (*second);
    EXPECT_EQ (*stateXml (again), *stateXml (saved));
    EXPECT_EQ (again, saved);
}

TEST (State, RestoreRefusesTextThatIsNotThisPluginsState)
{
    vh::World world;
    std::string error;
    auto instance = makeInstance (world, error);
    ASSERT_NE (instance, nullptr) << error;
    const auto before = saveOrFail (*instance);

    const std::string otherPlugin = "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
                                    "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
                                    "<urn:x> a pset:Preset ; lv2:appliesTo <urn:another:plugin> .\n";
    for (const std::string& text : { std::string(), std::string ("not turtle at all {"), otherPlugin })
    {
        SCOPED_TRACE (text);
        EXPECT_FALSE (instance->restoreState (text, error));
    }
    EXPECT_EQ (saveOrFail (*instance), before);
}

struct PatchSetCase
{
    const char* id;
    float sent;
    double saved; // what the parameter tree holds afterwards
};

class PatchSet : public ::testing::TestWithParam<PatchSetCase>
{
};

TEST_P (PatchSet, ValueReachesTheSavedState)
{
    const auto& c = GetParam();
    vh::World world;
    std::string error;
    auto instance = makeInstance (world, error);
    ASSERT_NE (instance, nullptr) << error;
    const auto* parameter = instance->description().findParameter (c.id);
    ASSERT_NE (parameter, nullptr);

    auto events = playingAt (0.0);
    events.parameters.push_back ({ 0, parameter->uri, c.sent });
    ASSERT_TRUE (instance->run (256, events, error)) << error;

    const auto xml = stateXml (saveOrFail (*instance));
    ASSERT_TRUE (xml.has_value());
    const auto value = savedParameter (*xml, c.id);
    ASSERT_TRUE (value.has_value()) << *xml;
    EXPECT_NEAR (*value, c.saved, 1.0e-4);
}

INSTANTIATE_TEST_SUITE_P (Kinds, PatchSet,
                          ::testing::Values (PatchSetCase { "svang", 1.1f, 1.1 },       // continuous float
                                             PatchSetCase { "ut", -3.0f, -3.0 },        // negative range
                                             PatchSetCase { "k_ton", 61.3f, 61.3 },     // 0.1 steps
                                             PatchSetCase { "tonart", 3.0f, 3.0 },      // choice index
                                             PatchSetCase { "foljmidi", 0.0f, 0.0 },    // switch off
                                             PatchSetCase { "l7_lada", 6.0f, 6.0 },     // last host index
                                             PatchSetCase { "l3_steg", 16.4f, 16.0 },   // snaps to whole steps
                                             PatchSetCase { "svang", 5.0f, 1.2 },       // above range: clamped
                                             PatchSetCase { "l0_farg", -9.0f, -1.0 }),  // below range: clamped
                          [] (const auto& info) { return std::string (info.param.id) + "_" + std::to_string (info.index); });

} // namespace
