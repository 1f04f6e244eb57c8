#include "plugin/ParamCache.h"
#include "plugin/Parameters.h"
#include "plugin/VirlProcessor.h"

#include <gtest/gtest.h>

namespace
{

TEST (Parameters, LayoutHasEveryParameterInHostOrder)
{
    VirlProcessor processor;
    const auto& params = processor.getParameters();
    ASSERT_EQ (params.size(), vl::numParams);

    const auto idAt = [&] (int index) { return dynamic_cast<juce::RangedAudioParameter*> (params[index])->paramID; };
    EXPECT_EQ (idAt (0), "tonart");
    EXPECT_EQ (idAt (21), "k_driv");
    EXPECT_EQ (idAt (22), "l0_niva");
    EXPECT_EQ (idAt (34), "l0_lada");
    EXPECT_EQ (idAt (35), "l1_niva");
    EXPECT_EQ (idAt (125), "l7_lada");

    for (int lane = 0; lane < 8; ++lane)
        for (int part = 0; part < vl::numLaneParams; ++part)
            EXPECT_EQ (idAt (vl::numGlobalParams + lane * vl::numLaneParams + part), vl::lid (lane, vl::laneParts[(size_t) part]));
}

TEST (Parameters, DefaultsAndNamesFollowTheLaneTable)
{
    VirlProcessor processor;
    auto& tree = processor.parameters();
    const auto defaultOf = [&] (const juce::String& id) {
        auto* p = tree.getParameter (id);
        return p->convertFrom0to1 (p->getDefaultValue());
    };
    for (int lane = 0; lane < 8; ++lane)
    {
        const auto& d = vl::laneDefaults[(size_t) lane];
        EXPECT_FLOAT_EQ (defaultOf (vl::lid (lane, "niva")), d[0]);
        EXPECT_FLOAT_EQ (defaultOf (vl::lid (lane, "drift")), d[1]);
        EXPECT_FLOAT_EQ (defaultOf (vl::lid (lane, "tathet")), d[2]);
        EXPECT_NEAR (defaultOf (vl::lid (lane, "farg")), d[3], 1.0e-6);
        EXPECT_FLOAT_EQ (defaultOf (vl::lid (lane, "pan")), d[4]);
        EXPECT_FLOAT_EQ (defaultOf (vl::lid (lane, "langd")), d[5]);
        EXPECT_FLOAT_EQ (defaultOf (vl::lid (lane, "bakl")), lane == 7 ? 0.5f : 0.0f);
    }
    EXPECT_EQ (tree.getParameter ("l4_lada")->getName (100), juce::String::fromUTF8 ("RÖST låda"));
    EXPECT_EQ (tree.getParameter ("svang")->getName (100), juce::String::fromUTF8 ("Sväng"));
    EXPECT_FLOAT_EQ (defaultOf ("dna"), 3.0f);
    EXPECT_FLOAT_EQ (defaultOf ("ut"), 0.0f);
    EXPECT_FLOAT_EQ (defaultOf ("foljmidi"), 1.0f);
}

struct TextCase
{
    const char* id;
    float value;
    const char* text;
};

class ValueText : public testing::TestWithParam<TextCase>
{
};

TEST_P (ValueText, ShowsTheValueAsWritten)
{
    static VirlProcessor processor;
    const auto& c = GetParam();
    auto* p = processor.parameters().getParameter (c.id);
    ASSERT_NE (p, nullptr);
    EXPECT_EQ (p->getText (p->convertTo0to1 (c.value), 32), juce::String::fromUTF8 (c.text));
}

INSTANTIATE_TEST_SUITE_P (Parameters, ValueText,
                          testing::Values (TextCase { "svang", 1.2f, "120 %" }, TextCase { "l0_niva", 0.125f, "12 %" },
                                           TextCase { "l0_niva", 0.135f, "14 %" }, TextCase { "l1_farg", -0.2f, "-20" },
                                           TextCase { "l1_farg", 0.2f, "+20" }, TextCase { "l1_farg", 0.0f, "0" },
                                           TextCase { "l3_steg", 0.0f, "AUTO" }, TextCase { "l3_steg", 16.0f, "16" },
                                           TextCase { "l3_ton", 7.0f, "+7" }, TextCase { "l3_ton", -7.0f, "-7" },
                                           TextCase { "ut", -3.0f, "-3.0 dB" }, TextCase { "k_ton", 50.0f, "50 Hz" },
                                           TextCase { "ringlakanal", 3.0f, "3" }, TextCase { "tonart", 9.0f, "A" },
                                           TextCase { "l4_lada", 3.0f, "RÖST" }, TextCase { "radio", 1.0f, "On" }));

TEST (Parameters, SnapshotConvertsChoicesSwitchesAndLevels)
{
    VirlProcessor processor;
    auto& tree = processor.parameters();
    const auto set = [&] (const char* id, float v) {
        auto* p = tree.getParameter (id);
        p->setValueNotifyingHost (p->convertTo0to1 (v));
    };
    set ("bagelangd", 3.0f);
    set ("ettan", 3.0f);
    set ("ut", -24.0f);
    set ("foljmidi", 0.0f);
    set ("l2_steg", 7.0f);
    set ("l2_alder", 0.0f);
    set ("l2_lada", 6.0f);
    set ("l5_frys", 1.0f);

    vl::ParamCache cache;
    cache.init (tree);
    vl::EngineParams p;
    vl::readParams (cache, p);
    EXPECT_EQ (p.bageMinutes, 45);
    EXPECT_EQ (p.ettanBars, 0);
    EXPECT_NEAR (p.utGain, 0.0630957f, 1.0e-6f);
    EXPECT_FALSE (p.foljMidi);
    EXPECT_EQ (p.lanes[2].steg, 7);
    EXPECT_EQ (p.lanes[2].alder, -1);
    EXPECT_EQ (p.lanes[2].lada, 5);
    EXPECT_TRUE (p.lanes[5].frys);
    EXPECT_EQ (p.dna, 3);
    EXPECT_EQ (p.tonart, 9);
}

TEST (Parameters, UnknownIdsLeaveCacheSlotsEmpty)
{
    VirlProcessor processor;
    vl::ParamCache cache;
    cache.init (processor.parameters());
    for (size_t i = 0; i < vl::globalIds.size(); ++i)
        EXPECT_NE (cache.globals[i], nullptr);
    for (size_t i = vl::globalIds.size(); i < cache.globals.size(); ++i)
        EXPECT_EQ (cache.globals[i], nullptr);

    // A snapshot built from empty slots keeps its values rather than reading through null.
    vl::ParamCache empty;
    vl::EngineParams p;
    p.kTon = 61.0f;
    vl::readParams (empty, p);
    EXPECT_EQ (p.kTon, 61.0f);
}

} // namespace
