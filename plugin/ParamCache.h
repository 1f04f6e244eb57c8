// Pointers to the parameters' raw atomic values, so the audio thread builds its snapshot without lookups.
#pragma once

#include "engine/EngineParams.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <array>
#include <atomic>

namespace vl
{

struct ParamCache
{
    std::array<std::atomic<float>*, 32> globals {}; // slots 0..16 used, in the order of globalIds
    std::array<std::array<std::atomic<float>*, 13>, 8> lanes {};

    // Message thread, once, after the tree exists. An unknown ID leaves its slot null.
    void init (juce::AudioProcessorValueTreeState& tree);
};

// The cached global IDs in slot order; radio, radiotakt, spokekalla, ringlakanal and guldmin are read
// where they are used instead.
extern const std::array<const char*, 17> globalIds;
// The lane parameter parts in slot order.
extern const std::array<const char*, 13> laneParts;

// Audio thread: rebuilds the snapshot with plain atomic loads. A null slot keeps the field's value.
void readParams (const ParamCache& cache, EngineParams& p);

} // namespace vl
