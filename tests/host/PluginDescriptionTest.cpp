// What a host learns from the built bundle before and just after it starts the plug-in.
#include "HostTestSupport.h"
#include "ParameterTable.h"

#include <gtest/gtest.h>

#include <lv2/core/lv2.h>

#include <algorithm>
#include <cstdlib>
#include <sstream>

namespace
{

using namespace virltest;

class PluginDescription : public ::testing::Test
{
protected:
    static void SetUpTestSuite()
    {
        world = std::make_unique<vh::World>();
        std::string error;
        ASSERT_TRUE (world->load (bundleDir, error)) << error;
        description = world->describe (pluginUri, error);
        ASSERT_TRUE (description.has_value()) << error;
    }

    static void TearDownTestSuite()
    {
        description.reset();
        world.reset();
    }

    static inline std::unique_ptr<vh::World> world;
    static inline std::optional<vh::PluginDescription> description;
};

TEST_F (PluginDescription, LV2PathHoldsExactlyOnePluginWithTheUri)
{
    ::setenv ("LV2_PATH", lv2Dir.c_str(), 1);
    vh::World pathWorld;
    std::string error;
    ASSERT_TRUE (pathWorld.load ("", error)) << error;
    const auto uris = pathWorld.pluginUris();
    EXPECT_EQ (std::count (uris.begin(), uris.end(), pluginUri), 1);
    EXPECT_EQ (uris.size(), 1u) << "the bundle folder should hold one plug-in";
}

TEST_F (PluginDescription, IsAnInstrumentWithMidiInAndStereoOut)
{
    const auto& d = *description;
    EXPECT_TRUE (d.isInstrument);
    EXPECT_EQ (d.countPorts (vh::PortType::audio, true), 0);
    EXPECT_EQ (d.countPorts (vh::PortType::audio, false), 2);
    EXPECT_EQ (d.countPorts (vh::PortType::atom, true), 1);

    const auto* in = d.eventInput();
    ASSERT_NE (in, nullptr);
    EXPECT_TRUE (in->supportsMidi);
    EXPECT_TRUE (in->supportsTime);
    EXPECT_TRUE (in->supportsPatch);
    EXPECT_GE (in->minimumSize, 126u * 72u) << "room for a patch:Set of every parameter";

    const auto* latency = d.latencyPort();
    ASSERT_NE (latency, nullptr);
    EXPECT_FALSE (latency->isInput);
}

TEST_F (PluginDescription, LatencyPortReads64AfterOneRun)
{
    vh::World runWorld;
    std::string error;
    auto instance = makeInstance (runWorld, error);
    ASSERT_NE (instance, nullptr) << error;
    ASSERT_TRUE (instance->run (256, {}, error)) << error;
    ASSERT_TRUE (instance->latency().has_value());
    EXPECT_EQ (*instance->latency(), 64.0f);
}

// The build tidies the Turtle JUCE writes, so lv2_validate has one finding left by design:
// parameters keep lv2:portProperty (enumeration, toggled) because hosts read those hints from there,
// while the schema only allows the property on ports. Any other finding fails the test.
struct Finding
{
    std::string message, subject, predicate, object;
};

std::vector<Finding> parseFindings (const std::string& output)
{
    std::vector<Finding> findings;
    std::istringstream in (output);
    std::string line;
    while (std::getline (in, line))
    {
        if (line.rfind ("error: ", 0) == 0)
            findings.push_back ({ line.substr (7), {}, {}, {} });
        else if (! findings.empty() && line.rfind ("       ", 0) == 0)
        {
            auto& f = findings.back();
            auto& field = f.subject.empty() ? f.subject : f.predicate.empty() ? f.predicate : f.object;
            field = line.substr (7);
        }
    }
    return findings;
}

bool isKnownJuceFinding (const Finding& f)
{
    const std::string lv2 = "http://lv2plug.in/ns/lv2core#";
    const auto isParameter = f.subject.rfind (pluginUri + ":", 0) == 0;
    return f.message == "Subject not in domain <" + lv2 + "Port>" && isParameter && f.predicate == lv2 + "portProperty";
}

TEST_F (PluginDescription, Lv2ValidateFindsOnlyParameterPortProperties)
{
    std::string files;
    for (const auto* name : { "manifest.ttl", "dsp.ttl", "ui.ttl" })
        files += " '" + bundleDir + "/" + name + "'";
    const auto [status, output] = runCommand ("lv2_validate" + files);
    ASSERT_NE (status, -1) << "could not run lv2_validate";
    ASSERT_EQ (output.find ("Failed to"), std::string::npos) << output;
    for (const auto& f : parseFindings (output))
        EXPECT_TRUE (isKnownJuceFinding (f)) << f.message << "\n  " << f.subject << "\n  " << f.predicate << "\n  " << f.object;
}

TEST_F (PluginDescription, ParametersMatchTheLayoutInHostIndexOrder)
{
    const auto expected = expectedParameters();
    const auto& actual = description->parameters;
    ASSERT_EQ (expected.size(), 126u);
    ASSERT_EQ (actual.size(), expected.size());

    for (size_t i = 0; i < expected.size(); ++i)
    {
        const auto& e = expected[i];
        const auto& a = actual[i];
        SCOPED_TRACE ("host index " + std::to_string (i) + ", expected " + e.id);
        EXPECT_EQ (a.index, (int) i);
        EXPECT_EQ (a.id, e.id);
        EXPECT_EQ (a.uri, pluginUri + ":" + e.id);
        EXPECT_EQ (a.label, e.label);
        EXPECT_NEAR (a.minimum, e.minimum, 1.0e-5);
        EXPECT_NEAR (a.maximum, e.maximum, 1.0e-5);
        EXPECT_NEAR (a.defaultValue, e.defaultValue, 1.0e-5);

        std::vector<std::string> items;
        for (const auto& point : a.scalePoints)
            items.push_back (point.label);
        EXPECT_EQ (items, e.items);
        EXPECT_EQ (a.enumeration, ! e.items.empty());
        for (size_t k = 0; k < a.scalePoints.size(); ++k)
            EXPECT_EQ (a.scalePoints[k].value, (float) k);
    }
    EXPECT_EQ (description->findParameter ("l0_niva")->index, 22);
    EXPECT_EQ (description->findParameter ("l7_lada")->index, 125);
}

} // namespace
