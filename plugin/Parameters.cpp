#include "plugin/Parameters.h"

#include "engine/EngineParams.h"

#include <cmath>

namespace vl
{

const std::array<std::array<float, 6>, 8> laneDefaults { {
    { 0.82f, 0.0f, 0.5f, 0.0f, 0.0f, 1.0f },    // KICK
    { 0.72f, 0.18f, 0.45f, -0.2f, 0.0f, 0.4f }, // BAS
    { 0.62f, 0.3f, 0.45f, 0.0f, 0.3f, 1.0f },   // KLICK
    { 0.55f, 0.35f, 0.5f, 0.2f, 0.5f, 0.7f },   // TICK
    { 0.5f, 0.4f, 0.35f, 0.0f, 0.6f, 1.0f },    // RÖST
    { 0.45f, 0.3f, 0.35f, -0.1f, 0.5f, 0.9f },  // TON
    { 0.38f, 0.15f, 0.4f, 0.0f, 0.8f, 1.0f },   // LUFT
    { 0.32f, 0.45f, 0.4f, -0.2f, 0.7f, 1.0f },  // SPÖKE
} };

namespace
{
// Nearest integer with ties to even, whatever rounding mode the caller left behind.
int nearestEven (double v)
{
    const double r = std::round (v);
    if (std::abs (v - std::trunc (v)) == 0.5)
        return static_cast<int> (2.0 * std::round (v * 0.5));
    return static_cast<int> (r);
}

using Text = std::function<juce::String (float, int)>;

Text ignoringLength (juce::String (*f) (float))
{
    return [f] (float v, int) { return f (v); };
}

std::unique_ptr<juce::AudioParameterFloat> floatParam (const juce::String& id, const juce::String& name,
                                                       float start, float end, float interval, float def,
                                                       juce::String (*text) (float))
{
    auto attributes = juce::AudioParameterFloatAttributes();
    if (text != nullptr)
        attributes = attributes.withStringFromValueFunction (ignoringLength (text));
    return std::make_unique<juce::AudioParameterFloat> (juce::ParameterID { id, 1 }, name,
                                                        juce::NormalisableRange<float> (start, end, interval, 1.0f),
                                                        def, attributes);
}

std::unique_ptr<juce::AudioParameterChoice> choiceParam (const juce::String& id, const juce::String& name,
                                                         const juce::StringArray& items, int def)
{
    return std::make_unique<juce::AudioParameterChoice> (juce::ParameterID { id, 1 }, name, items, def);
}

std::unique_ptr<juce::AudioParameterBool> switchParam (const juce::String& id, const juce::String& name, bool def)
{
    return std::make_unique<juce::AudioParameterBool> (juce::ParameterID { id, 1 }, name, def);
}


void addGlobals (juce::AudioProcessorValueTreeState::ParameterLayout& layout)
{
    layout.add (choiceParam ("tonart", "Tonart", { "C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B" }, 9),
                choiceParam ("skala", "Skala", { "MOLL", "DORISK", "FRYGISK", "MOLLPENTA", "KVINT" }, 0),
                choiceParam ("dna", "Groove-DNA",
                             { "909 RAK", "909 SHUFFLE", "SLAPP SAMPLER", "BERUSAD GUNG", "MIKROHUS", "ROMINIMAL",
                               "DETROIT", "EGEN" },
                             3),
                floatParam ("svang", juce::String::fromUTF8 ("Sväng"), 0.0f, 1.2f, 0.0f, 0.7f, percentText),
                floatParam ("bage", juce::String::fromUTF8 ("Båge"), 0.0f, 1.0f, 0.0f, 0.0f, percentText),
                choiceParam ("bagelangd", juce::String::fromUTF8 ("Bågens längd"),
                             { "6 MIN", "10 MIN", "20 MIN", "45 MIN" }, 1),
                choiceParam ("ettan", "Ettan", { "4 TAKTER", "8 TAKTER", "16 TAKTER", "AV" }, 1),
                choiceParam ("alder", juce::String::fromUTF8 ("Ålder"), { "NY", "MJUK 12", "GRUS 12", "VARM" }, 1),
                floatParam ("skiva", "Skiva", 0.0f, 1.0f, 0.0f, 0.15f, percentText),
                floatParam ("band", "Band", 0.0f, 1.0f, 0.0f, 0.25f, percentText),
                floatParam ("glid", "Glid", 0.0f, 1.0f, 0.0f, 0.35f, percentText),
                floatParam ("ut", "Ut", -24.0f, 6.0f, 0.1f, 0.0f, decibelText),
                switchParam ("radio", "Radio", false),
                choiceParam ("radiotakt", "Radio-takt", { "4 TAKTER", "8 TAKTER", "16 TAKTER", "32 TAKTER" }, 2),
                choiceParam ("spokekalla", juce::String::fromUTF8 ("Spökets källa"),
                             { "EGET", "VALMA", juce::String::fromUTF8 ("BÅDA") }, 0),
                floatParam ("ringlakanal", "Ringla-kanal", 1.0f, 4.0f, 1.0f, 1.0f, integerText),
                switchParam ("foljmidi", juce::String::fromUTF8 ("Följ MIDI"), true),
                choiceParam ("guldmin", "GULD-minuter", { "5 MIN", "10 MIN", "20 MIN" }, 1),
                floatParam ("k_ton", "Kick ton", 38.0f, 72.0f, 0.1f, 50.0f, hertzText),
                floatParam ("k_langd", juce::String::fromUTF8 ("Kick längd"), 0.0f, 1.0f, 0.0f, 0.32f, percentText),
                floatParam ("k_klick", "Kick klick", 0.0f, 1.0f, 0.0f, 0.35f, percentText),
                floatParam ("k_driv", "Kick driv", 0.0f, 1.0f, 0.0f, 0.3f, percentText));
}

void addLane (juce::AudioProcessorValueTreeState::ParameterLayout& layout, int lane)
{
    const auto& d = laneDefaults[(size_t) lane];
    const auto prefix = juce::String::fromUTF8 (laneName[(size_t) lane]) + " ";
    const auto name = [&] (const char* part) { return prefix + juce::String::fromUTF8 (part); };
    const auto id = [&] (const char* part) { return lid (lane, part); };

    layout.add (floatParam (id ("niva"), name ("nivå"), 0.0f, 1.0f, 0.0f, d[0], percentText),
                floatParam (id ("drift"), name ("drift"), 0.0f, 1.0f, 0.0f, d[1], percentText),
                floatParam (id ("tathet"), name ("täthet"), 0.0f, 1.0f, 0.0f, d[2], percentText),
                floatParam (id ("farg"), name ("färg"), -1.0f, 1.0f, 0.0f, d[3], signedPercentText),
                switchParam (id ("frys"), name ("frys"), false),
                switchParam (id ("tyst"), name ("tyst"), false),
                floatParam (id ("steg"), name ("steg"), 0.0f, 32.0f, 1.0f, 0.0f, stepsText),
                floatParam (id ("ton"), name ("ton"), -24.0f, 24.0f, 1.0f, 0.0f, signedIntegerText),
                floatParam (id ("langd"), name ("längd"), 0.0f, 1.0f, 0.0f, d[5], percentText),
                floatParam (id ("bakl"), name ("baklänges"), 0.0f, 1.0f, 0.0f, lane == 7 ? 0.5f : 0.0f, percentText),
                floatParam (id ("pan"), name ("spridning"), 0.0f, 1.0f, 0.0f, d[4], percentText),
                choiceParam (id ("alder"), name ("ålder"),
                             { "GLOBAL", "NY", "MJUK 12", "GRUS 12", "VARM" }, 0),
                choiceParam (id ("lada"), name ("låda"),
                             { "AUTO", "KLICK", "TICK", juce::String::fromUTF8 ("RÖST"), "TON", "BRUS",
                               juce::String::fromUTF8 ("SPÖKE") },
                             0));
}
} // namespace

juce::String lid (int lane, const juce::String& part)
{
    return "l" + juce::String (lane) + "_" + part;
}

juce::AudioProcessorValueTreeState::ParameterLayout createLayout()
{
    juce::AudioProcessorValueTreeState::ParameterLayout layout;
    addGlobals (layout);
    for (int lane = 0; lane < 8; ++lane)
        addLane (layout, lane);
    return layout;
}

juce::String percentText (float v) { return juce::String (nearestEven (100.0 * (double) v)) + " %"; }

juce::String signedPercentText (float v)
{
    return juce::String (v > 0.0f ? "+" : "") + juce::String (nearestEven (100.0 * (double) v));
}

juce::String decibelText (float v) { return juce::String (v, 1) + " dB"; }

juce::String integerText (float v) { return juce::String (nearestEven (v)); }

juce::String hertzText (float v) { return juce::String (nearestEven (v)) + " Hz"; }

juce::String stepsText (float v) { return v < 0.5f ? juce::String ("AUTO") : juce::String (nearestEven (v)); }

juce::String signedIntegerText (float v)
{
    return juce::String (v > 0.0f ? "+" : "") + juce::String (nearestEven (v));
}

} // namespace vl
