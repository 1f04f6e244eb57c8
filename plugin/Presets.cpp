#include "plugin/Presets.h"

#include "family/Random.h"
#include "plugin/Parameters.h"

#include <algorithm>

namespace vl
{

const std::array<const char*, 7> keep { "ut", "radio", "radiotakt", "spokekalla", "ringlakanal", "guldmin", "foljmidi" };

namespace
{
struct PresetFamily
{
    const char* name;
    int dna;
    float svang;
    int tonart;
    int skala;
    int alder;
    float skiva;
    float band;
    std::array<float, 6> level;   // TICK, KLICK, RÖST, TON, LUFT, SPÖKE
    std::array<float, 3> density; // TICK, KLICK, RÖST
    float drift;
    float kickTone;
    float kickLength;
    float kickClick;
    std::array<const char*, 8> names;
};

const std::array<PresetFamily, 8> families { {
    { "SNETT", 3, 0.95f, 9, 0, 1, 0.25f, 0.3f, { 0.55f, 0.6f, 0.55f, 0.35f, 0.4f, 0.35f }, { 0.45f, 0.5f, 0.45f }, 0.42f, 49.0f, 0.3f, 0.3f,
      { "Fuktig Källare", "Gungande Plåt", "Sju Timmar", "Frankfurtbryggan", "Berusad Hi-hat", "Kvart I Sex", "Mjuk Nit", "Efterfest" } },
    { "LEKSTUGA", 4, 0.75f, 5, 1, 2, 0.15f, 0.25f, { 0.55f, 0.55f, 0.45f, 0.45f, 0.35f, 0.3f }, { 0.5f, 0.45f, 0.35f }, 0.35f, 52.0f, 0.28f, 0.4f,
      { "Lekstuga", "Glitter I Golvbrunnen", "Spegelkula", "Rak Rygg", "Halv Sju", "Mjukstart", "Morvas Trappa", "Kvällsdopp" } },
    { "PACKAT", 1, 0.7f, 0, 3, 3, 0.1f, 0.35f, { 0.5f, 0.5f, 0.3f, 0.55f, 0.4f, 0.2f }, { 0.45f, 0.4f, 0.3f }, 0.3f, 50.0f, 0.35f, 0.3f,
      { "Kölnervals", "Popteknik", "Grå Puls", "Sockerbit", "Gummiband", "Trevåning", "Sen Buss", "Fyrkant" } },
    { "LINDANS", 4, 0.85f, 2, 0, 1, 0.1f, 0.2f, { 0.5f, 0.55f, 0.7f, 0.3f, 0.25f, 0.35f }, { 0.5f, 0.45f, 0.6f }, 0.5f, 53.0f, 0.25f, 0.45f,
      { "Radiosökaren", "Fonem", "Hackad Kanal", "Tusen Stavelser", "Transistor", "Skvaller", "Mitt Sätt", "Stationsbyte" } },
    { "MINSTA", 0, 0.45f, 7, 4, 0, 0.0f, 0.2f, { 0.6f, 0.6f, 0.2f, 0.25f, 0.3f, 0.25f }, { 0.4f, 0.35f, 0.25f }, 0.28f, 47.0f, 0.42f, 0.25f,
      { "Plastisk", "Minuspol", "Torr Is", "Kall Kontakt", "Tunn Tråd", "Skelett", "Klinisk", "Nolla" } },
    { "ROMINIMAL", 5, 0.8f, 10, 2, 2, 0.3f, 0.35f, { 0.5f, 0.5f, 0.45f, 0.4f, 0.45f, 0.4f }, { 0.55f, 0.45f, 0.4f }, 0.48f, 48.0f, 0.36f, 0.3f,
      { "Bukarest Sex", "Lång Korridor", "Evighetsloop", "Morgonsol", "Rumänsk Väg", "Djup Golv", "Tredje Timmen", "Svart Vax" } },
    { "DUB", 6, 0.6f, 4, 0, 3, 0.35f, 0.45f, { 0.4f, 0.4f, 0.25f, 0.6f, 0.55f, 0.45f }, { 0.35f, 0.3f, 0.25f }, 0.25f, 46.0f, 0.45f, 0.2f,
      { "Basen I Väggen", "Ånga", "Kanal Ett", "Rimfrost", "Djupt Vatten", "Ekot Av Ett Ekot", "Kokpunkt", "Grå Dimma" } },
    { "GRUVLAN", 2, 0.85f, 9, 0, 1, 0.2f, 0.4f, { 0.55f, 0.6f, 0.5f, 0.45f, 0.4f, 0.4f }, { 0.55f, 0.5f, 0.45f }, 0.45f, 50.0f, 0.32f, 0.35f,
      { "Fuktigt Betonggolv", "Hamnvalvet", "Svarvvirl", "Kopparrör", "Nattskift", "Bärande Vägg", "Smält Bly", "Varvsporten" } },
} };

float level (const PresetFamily& f, int lane)
{
    switch (lane)
    {
        case 0: return 0.82f;
        case 1: return 0.7f;
        case 2: return f.level[1]; // KLICK
        case 3: return f.level[0]; // TICK
        case 4: return f.level[2]; // RÖST
        case 5: return f.level[3]; // TON
        case 6: return f.level[4]; // LUFT
        default: return f.level[5]; // SPÖKE
    }
}

float density (const PresetFamily& f, int lane)
{
    switch (lane)
    {
        case 0: return 0.5f;
        case 1: return 0.45f;
        case 2: return f.density[1]; // KLICK
        case 3: return f.density[0]; // TICK
        case 4: return f.density[2]; // RÖST
        case 5:
        case 6: return 0.35f;
        default: return 0.4f;
    }
}

Preset build (int f, int i)
{
    const auto& family = families[(size_t) f];
    Preset preset;
    preset.seed = gv::hashMix (gv::hashMix (0xB0A7u, (std::uint32_t) f), (std::uint32_t) i);
    preset.family = family.name;
    preset.name = juce::String::fromUTF8 (family.names[(size_t) i]);

    gv::Rng rng (preset.seed);
    const auto d = [&rng] { return 2.0f * rng.uniform() - 1.0f; };
    auto& v = preset.values;
    const auto add = [&v] (const juce::String& id, float value) { v.emplace_back (id, value); };

    add ("dna", (float) family.dna);
    add ("svang", std::clamp (family.svang + 0.1f * d(), 0.0f, 1.2f));
    add ("tonart", (float) ((i % 3 == 2 ? family.tonart + 5 : family.tonart) % 12));
    add ("skala", (float) family.skala);
    add ("alder", (float) family.alder);
    add ("skiva", family.skiva);
    add ("band", family.band);
    add ("glid", std::clamp (0.35f + 0.2f * d(), 0.0f, 1.0f));
    add ("bage", (i == 6 || i == 7) ? 0.7f : 0.0f);
    add ("bagelangd", i == 7 ? 3.0f : 1.0f);
    add ("k_ton", family.kickTone + 2.0f * d());
    add ("k_langd", std::clamp (family.kickLength + 0.06f * d(), 0.0f, 1.0f));
    add ("k_klick", std::clamp (family.kickClick + 0.08f * d(), 0.0f, 1.0f));

    for (int lane = 0; lane < 8; ++lane)
    {
        add (lid (lane, "niva"), lane >= 2 ? std::clamp (level (family, lane) + 0.08f * d(), 0.0f, 1.0f)
                                           : level (family, lane));
        add (lid (lane, "tathet"), std::clamp (density (family, lane) + 0.1f * d(), 0.0f, 1.0f));
        if (lane == 0)
            add (lid (lane, "drift"), 0.0f);
        else
            add (lid (lane, "drift"),
                 std::clamp ((lane == 1 ? 0.5f * family.drift : family.drift) + 0.08f * d(), 0.0f, 1.0f));
        add (lid (lane, "farg"), std::clamp (laneDefaults[(size_t) lane][3] + 0.25f * d(), -1.0f, 1.0f));
    }
    return preset;
}
} // namespace

const std::vector<Preset>& presets()
{
    static const std::vector<Preset> list = [] {
        std::vector<Preset> all;
        all.reserve (64);
        for (int f = 0; f < 8; ++f)
            for (int i = 0; i < 8; ++i)
                all.push_back (build (f, i));
        return all;
    }();
    return list;
}

} // namespace vl
