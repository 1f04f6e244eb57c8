// The 126 parameters a host should see, in host index order: 22 globals, then 13 per lane.
// Built from three small tables the way the plug-in's layout is, so a slip on either side shows.
#pragma once

#include <string>
#include <vector>

namespace virltest
{

/** One published parameter. Choices and switches are published by JUCE as 0..N-1 with one
    scale point per item ("Off"/"On" for switches); floats carry no scale points. */
struct ExpectedParameter
{
    std::string id, label;
    float minimum = 0.0f, maximum = 1.0f, defaultValue = 0.0f;
    std::vector<std::string> items; // scale point labels of a choice or switch, empty for a float
};

inline ExpectedParameter floatParam (std::string id, std::string label, float lo, float hi, float def)
{
    return { std::move (id), std::move (label), lo, hi, def, {} };
}

inline ExpectedParameter choiceParam (std::string id, std::string label, std::vector<std::string> items, int def)
{
    const auto last = (float) items.size() - 1.0f;
    return { std::move (id), std::move (label), 0.0f, last, (float) def, std::move (items) };
}

inline ExpectedParameter switchParam (std::string id, std::string label, bool def)
{
    return { std::move (id), std::move (label), 0.0f, 1.0f, def ? 1.0f : 0.0f, { "Off", "On" } };
}

inline std::vector<ExpectedParameter> expectedParameters()
{
    const std::vector<std::string> ages { "NY", "MJUK 12", "GRUS 12", "VARM" };

    std::vector<ExpectedParameter> all {
        choiceParam ("tonart", "Tonart", { "C", "C#", "D", "D#", "E", "F", "F#", "G", "G#", "A", "A#", "B" }, 9),
        choiceParam ("skala", "Skala", { "MOLL", "DORISK", "FRYGISK", "MOLLPENTA", "KVINT" }, 0),
        choiceParam ("dna", "Groove-DNA",
                     { "909 RAK", "909 SHUFFLE", "SLAPP SAMPLER", "BERUSAD GUNG", "MIKROHUS", "ROMINIMAL", "DETROIT", "EGEN" }, 3),
        floatParam ("svang", "Sväng", 0.0f, 1.2f, 0.7f),
        floatParam ("bage", "Båge", 0.0f, 1.0f, 0.0f),
        choiceParam ("bagelangd", "Bågens längd", { "6 MIN", "10 MIN", "20 MIN", "45 MIN" }, 1),
        choiceParam ("ettan", "Ettan", { "4 TAKTER", "8 TAKTER", "16 TAKTER", "AV" }, 1),
        choiceParam ("alder", "Ålder", ages, 1),
        floatParam ("skiva", "Skiva", 0.0f, 1.0f, 0.15f),
        floatParam ("band", "Band", 0.0f, 1.0f, 0.25f),
        floatParam ("glid", "Glid", 0.0f, 1.0f, 0.35f),
        floatParam ("ut", "Ut", -24.0f, 6.0f, 0.0f),
        switchParam ("radio", "Radio", false),
        choiceParam ("radiotakt", "Radio-takt", { "4 TAKTER", "8 TAKTER", "16 TAKTER", "32 TAKTER" }, 2),
        choiceParam ("spokekalla", "Spökets källa", { "EGET", "VALMA", "BÅDA" }, 0),
        floatParam ("ringlakanal", "Ringla-kanal", 1.0f, 4.0f, 1.0f),
        switchParam ("foljmidi", "Följ MIDI", true),
        choiceParam ("guldmin", "GULD-minuter", { "5 MIN", "10 MIN", "20 MIN" }, 1),
        floatParam ("k_ton", "Kick ton", 38.0f, 72.0f, 50.0f),
        floatParam ("k_langd", "Kick längd", 0.0f, 1.0f, 0.32f),
        floatParam ("k_klick", "Kick klick", 0.0f, 1.0f, 0.35f),
        floatParam ("k_driv", "Kick driv", 0.0f, 1.0f, 0.3f),
    };

    struct Lane
    {
        const char* name;
        float niva, drift, tathet, farg, spridning, langd;
    };
    const Lane lanes[] {
        { "KICK", 0.82f, 0.0f, 0.5f, 0.0f, 0.0f, 1.0f },   { "BAS", 0.72f, 0.18f, 0.45f, -0.2f, 0.0f, 0.4f },
        { "KLICK", 0.62f, 0.3f, 0.45f, 0.0f, 0.3f, 1.0f }, { "TICK", 0.55f, 0.35f, 0.5f, 0.2f, 0.5f, 0.7f },
        { "RÖST", 0.5f, 0.4f, 0.35f, 0.0f, 0.6f, 1.0f },   { "TON", 0.45f, 0.3f, 0.35f, -0.1f, 0.5f, 0.9f },
        { "LUFT", 0.38f, 0.15f, 0.4f, 0.0f, 0.8f, 1.0f },  { "SPÖKE", 0.32f, 0.45f, 0.4f, -0.2f, 0.7f, 1.0f },
    };
    for (int i = 0; i < 8; ++i)
    {
        const auto& lane = lanes[i];
        const auto id = [&] (const char* part) { return "l" + std::to_string (i) + "_" + part; };
        const auto label = [&] (const char* part) { return std::string (lane.name) + " " + part; };
        all.push_back (floatParam (id ("niva"), label ("nivå"), 0.0f, 1.0f, lane.niva));
        all.push_back (floatParam (id ("drift"), label ("drift"), 0.0f, 1.0f, lane.drift));
        all.push_back (floatParam (id ("tathet"), label ("täthet"), 0.0f, 1.0f, lane.tathet));
        all.push_back (floatParam (id ("farg"), label ("färg"), -1.0f, 1.0f, lane.farg));
        all.push_back (switchParam (id ("frys"), label ("frys"), false));
        all.push_back (switchParam (id ("tyst"), label ("tyst"), false));
        all.push_back (floatParam (id ("steg"), label ("steg"), 0.0f, 32.0f, 0.0f));
        all.push_back (floatParam (id ("ton"), label ("ton"), -24.0f, 24.0f, 0.0f));
        all.push_back (floatParam (id ("langd"), label ("längd"), 0.0f, 1.0f, lane.langd));
        all.push_back (floatParam (id ("bakl"), label ("baklänges"), 0.0f, 1.0f, i == 7 ? 0.5f : 0.0f));
        all.push_back (floatParam (id ("pan"), label ("spridning"), 0.0f, 1.0f, lane.spridning));
        all.push_back (choiceParam (id ("alder"), label ("ålder"), { "GLOBAL", "NY", "MJUK 12", "GRUS 12", "VARM" }, 0));
        all.push_back (choiceParam (id ("lada"), label ("låda"), { "AUTO", "KLICK", "TICK", "RÖST", "TON", "BRUS", "SPÖKE" }, 0));
    }
    return all;
}

} // namespace virltest
