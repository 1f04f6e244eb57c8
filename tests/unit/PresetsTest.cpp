#include "TestSupport.h"

#include "family/Random.h"
#include "plugin/Parameters.h"
#include "plugin/Presets.h"
#include "plugin/VirlProcessor.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{

float valueIn (const vl::Preset& preset, const juce::String& id)
{
    for (const auto& [key, value] : preset.values)
        if (key == id)
            return value;
    ADD_FAILURE() << "no " << id;
    return 0.0f;
}

TEST (Presets, ListNamesAndSeeds)
{
    const auto& list = vl::presets();
    ASSERT_EQ (list.size(), 64u);
    EXPECT_EQ (list[0].family, "SNETT");
    EXPECT_EQ (list[0].name, juce::String::fromUTF8 ("Fuktig Källare"));
    EXPECT_EQ (list[14].family, "LEKSTUGA");
    EXPECT_EQ (list[14].name, "Morvas Trappa");
    EXPECT_EQ (list[63].family, "GRUVLAN");
    EXPECT_EQ (list[63].name, "Varvsporten");
    EXPECT_EQ (list[0].seed, 0x3DDD5A07u);
    for (const auto& p : list)
        EXPECT_EQ (p.values.size(), 45u);
}

TEST (Presets, FirstPresetValues)
{
    const auto& p = vl::presets()[0];
    const std::vector<std::pair<const char*, float>> expected {
        { "dna", 3.0f }, { "svang", 0.93756f }, { "tonart", 9.0f }, { "skala", 0.0f }, { "alder", 1.0f },
        { "skiva", 0.25f }, { "band", 0.3f }, { "glid", 0.53474f }, { "bage", 0.0f }, { "bagelangd", 1.0f },
        { "k_ton", 49.682f }, { "k_langd", 0.30814f }, { "k_klick", 0.32250f }, { "l0_niva", 0.82f },
        { "l0_tathet", 0.48263f }, { "l1_drift", 0.17754f }, { "l2_niva", 0.52842f }, { "l7_farg", 0.04655f },
    };
    for (const auto& [id, value] : expected)
        EXPECT_NEAR (valueIn (p, id), value, 5.0e-5f) << id;
    EXPECT_EQ (p.values.front().first, "dna");
    EXPECT_EQ (p.values.back().first, "l7_farg");
}

TEST (Presets, FixedValuesAcrossTheList)
{
    for (size_t i = 0; i < vl::presets().size(); ++i)
    {
        const auto& p = vl::presets()[i];
        EXPECT_EQ (valueIn (p, "l0_niva"), 0.82f);
        EXPECT_EQ (valueIn (p, "l1_niva"), 0.7f);
        EXPECT_EQ (valueIn (p, "l0_drift"), 0.0f);
        EXPECT_EQ (valueIn (p, "bage"), i % 8 >= 6 ? 0.7f : 0.0f);
    }
    EXPECT_EQ (valueIn (vl::presets()[2], "tonart"), 2.0f);
    EXPECT_EQ (valueIn (vl::presets()[1], "tonart"), 9.0f);
}

struct PresetFixture : testing::Test
{
    float value (const char* id) { return processor.parameters().getRawParameterValue (id)->load(); }
    void set (const char* id, float v)
    {
        auto* p = processor.parameters().getParameter (id);
        p->setValueNotifyingHost (p->convertTo0to1 (v));
    }

    VirlProcessor processor;
};

TEST_F (PresetFixture, ApplyingResetsAllButTheKeepList)
{
    EXPECT_EQ (processor.getCurrentPreset(), 0);
    EXPECT_EQ (processor.getUndoDepth(), 0u);

    const std::vector<std::pair<const char*, float>> kept { { "ut", -7.0f }, { "radio", 1.0f }, { "radiotakt", 0.0f },
                                                            { "spokekalla", 2.0f }, { "ringlakanal", 3.0f },
                                                            { "guldmin", 2.0f }, { "foljmidi", 0.0f } };
    for (const auto& [id, v] : kept)
        set (id, v);
    const std::vector<std::pair<const char*, float>> reset { { "k_driv", 0.3f }, { "l3_steg", 0.0f }, { "l3_ton", 0.0f },
                                                             { "l3_langd", 0.7f }, { "l3_bakl", 0.0f }, { "l3_pan", 0.5f },
                                                             { "l3_alder", 0.0f }, { "l3_lada", 0.0f }, { "l3_frys", 0.0f },
                                                             { "l3_tyst", 0.0f }, { "ettan", 1.0f } };
    for (const auto& [id, v] : reset)
        set (id, v == 0.0f ? 1.0f : 0.9f * v + 0.05f);
    set ("ettan", 3.0f);

    processor.applyPreset (21);
    for (const auto& [id, v] : kept)
        EXPECT_FLOAT_EQ (value (id), v) << id;
    for (const auto& [id, v] : reset)
        EXPECT_NEAR (value (id), v, 1.0e-6f) << id;
    EXPECT_EQ (processor.getCurrentPreset(), 21);
    EXPECT_EQ (processor.getUndoDepth(), 1u);
}

TEST_F (PresetFixture, UndoStackKeepsTheNewest24)
{
    set ("svang", 0.123f);
    for (int i = 0; i < 30; ++i)
        processor.applyPreset (i);
    EXPECT_EQ (processor.getUndoDepth(), 24u);
    while (processor.undo()) {}
    EXPECT_NE (value ("svang"), 0.123f) << "the oldest six snapshots are gone";
    EXPECT_FALSE (processor.undo());
}

TEST_F (PresetFixture, UndoTakesBackAPresetOrADie)
{
    set ("svang", 0.2f);
    processor.applyPreset (40);
    EXPECT_NE (value ("svang"), 0.2f);
    EXPECT_TRUE (processor.undo());
    EXPECT_FLOAT_EQ (value ("svang"), 0.2f);

    set ("l4_niva", 0.05f);
    processor.randomiseLane (4);
    EXPECT_NE (value ("l4_niva"), 0.05f);
    EXPECT_TRUE (processor.undo());
    EXPECT_FLOAT_EQ (value ("l4_niva"), 0.05f);
}

TEST_F (PresetFixture, OutOfRangeIndicesDoNothing)
{
    set ("svang", 0.2f);
    for (const int index : { -1, 64, 1000 })
        processor.applyPreset (index);
    EXPECT_FLOAT_EQ (value ("svang"), 0.2f);
    EXPECT_EQ (processor.getUndoDepth(), 0u);
    EXPECT_EQ (processor.getCurrentPreset(), 0);
}

TEST_F (PresetFixture, DiceStayWithinMusicalBounds)
{
    set ("l0_tyst", 0.0f);
    for (int roll = 0; roll < 50; ++roll)
    {
        processor.randomiseAll();
        EXPECT_FALSE (value ("l0_tyst") > 0.5f) << "KICK is never muted by a die";
        EXPECT_LT (value ("dna"), 7.0f) << "no EGEN groove without an extracted one";
        for (int lane = 0; lane < 8; ++lane)
        {
            EXPECT_GE (value (vl::lid (lane, "niva").toRawUTF8()), 0.3f) << lane;
            EXPECT_LE (value (vl::lid (lane, "niva").toRawUTF8()), 0.9f) << lane;
        }
        EXPECT_GE (value ("ut"), -0.001f) << "the output level is the user's";
    }
    EXPECT_EQ (processor.getUndoDepth(), 24u);
}

// A project reload restores the state right after instantiation, while the constructor's preset
// variant is still waiting; the saved patterns must win.
TEST (PresetRace, RestoreSupersedesAPendingPresetVariant)
{
    VirlProcessor original;
    original.prepareToPlay (48000.0, 512);
    original.postToEngine ({ vl::NextAll, 0, 0x0badcafe, 0 });
    juce::AudioBuffer<float> buffer (2, 512);
    juce::MidiBuffer midi;
    for (int i = 0; i < 20; ++i)
        original.processBlock (buffer, midi);
    juce::MemoryBlock saved;
    original.getStateInformation (saved);
    const auto expected = original.getEngine().publishedRoll();
    ASSERT_EQ (expected.seedAll, 0x0badcafeu);

    for (const int delayMs : { 0, 30 })
    {
        VirlProcessor reloaded; // its constructor applied preset 0: a variant is due in 60 ms
        virltest::pumpMessages (delayMs);
        reloaded.setStateInformation (saved.getData(), (int) saved.getSize());
        reloaded.prepareToPlay (48000.0, 512);
        virltest::pumpMessages (150);
        for (int i = 0; i < 4; ++i)
            reloaded.processBlock (buffer, midi);
        const auto roll = reloaded.getEngine().publishedRoll();
        EXPECT_EQ (std::memcmp (&roll, &expected, sizeof (roll)), 0) << "restore after " << delayMs << " ms";
    }
}

TEST (PresetRace, UserPresetAfterARestoreStillPlaysItsVariant)
{
    VirlProcessor processor;
    juce::MemoryBlock saved;
    processor.getStateInformation (saved);
    processor.setStateInformation (saved.getData(), (int) saved.getSize());
    processor.prepareToPlay (48000.0, 512);
    processor.applyPreset (9);
    virltest::pumpMessages (150);
    juce::AudioBuffer<float> buffer (2, 512);
    juce::MidiBuffer midi;
    processor.processBlock (buffer, midi);
    EXPECT_EQ (processor.getEngine().publishedRoll().seedAll, vl::presets()[9].seed);
}

} // namespace
