#include "plugin/ParamCache.h"

#include "plugin/Parameters.h"

#include <algorithm>
#include <cmath>

namespace vl
{

const std::array<const char*, 17> globalIds { "tonart", "skala", "dna", "svang", "bage", "bagelangd",
                                              "ettan", "alder", "skiva", "band", "glid", "ut",
                                              "foljmidi", "k_ton", "k_langd", "k_klick", "k_driv" };

const std::array<const char*, 13> laneParts { "niva", "drift", "tathet", "farg", "frys", "tyst", "steg",
                                              "ton", "langd", "bakl", "pan", "alder", "lada" };

void ParamCache::init (juce::AudioProcessorValueTreeState& tree)
{
    for (size_t i = 0; i < globalIds.size(); ++i)
        globals[i] = tree.getRawParameterValue (globalIds[i]);
    for (int lane = 0; lane < 8; ++lane)
        for (size_t j = 0; j < laneParts.size(); ++j)
            lanes[(size_t) lane][j] = tree.getRawParameterValue (lid (lane, laneParts[j]));
}

namespace
{
template <typename T, typename Convert>
void load (const std::atomic<float>* slot, T& field, Convert convert)
{
    if (slot != nullptr)
        field = convert (slot->load (std::memory_order_relaxed));
}

float raw (float v) { return v; }
int truncated (float v) { return static_cast<int> (v); }
bool switchedOn (float v) { return v > 0.5f; }

template <size_t N>
int fromTable (const std::array<int, N>& table, float v)
{
    return table[(size_t) std::clamp (static_cast<int> (v), 0, static_cast<int> (N) - 1)];
}
} // namespace

void readParams (const ParamCache& cache, EngineParams& p)
{
    const auto& g = cache.globals;
    load (g[0], p.tonart, truncated);
    load (g[1], p.skala, truncated);
    load (g[2], p.dna, truncated);
    load (g[3], p.svang, raw);
    load (g[4], p.bage, raw);
    load (g[5], p.bageMinutes, [] (float v) { return fromTable (bageMinutes, v); });
    load (g[6], p.ettanBars, [] (float v) { return fromTable (ettanBars, v); });
    load (g[7], p.alder, truncated);
    load (g[8], p.skiva, raw);
    load (g[9], p.band, raw);
    load (g[10], p.glid, raw);
    load (g[11], p.utGain, [] (float db) { return db > -100.0f ? std::pow (10.0f, db * 0.05f) : 0.0f; });
    load (g[12], p.foljMidi, switchedOn);
    load (g[13], p.kTon, raw);
    load (g[14], p.kLangd, raw);
    load (g[15], p.kKlick, raw);
    load (g[16], p.kDriv, raw);

    for (size_t i = 0; i < 8; ++i)
    {
        const auto& s = cache.lanes[i];
        auto& l = p.lanes[i];
        load (s[0], l.niva, raw);
        load (s[1], l.drift, raw);
        load (s[2], l.tathet, raw);
        load (s[3], l.farg, raw);
        load (s[4], l.frys, switchedOn);
        load (s[5], l.tyst, switchedOn);
        load (s[6], l.steg, [] (float v) { return static_cast<int> (std::lround (v)); });
        load (s[7], l.ton, raw);
        load (s[8], l.langd, raw);
        load (s[9], l.bakl, raw);
        load (s[10], l.pan, raw);
        load (s[11], l.alder, [] (float v) { return static_cast<int> (v) - 1; });
        load (s[12], l.lada, [] (float v) { return static_cast<int> (v) - 1; });
    }
}

} // namespace vl
