// Turns what the host's play head says (or does not say) into one block's tempo, position and playing flag.
#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

namespace vl
{

constexpr double freeRunBpm = 124.0;
constexpr double minBpm = 40.0;
constexpr double maxBpm = 300.0;

// What the host said last. LV2 hosts send a position only when the transport changes and expect
// the plug-in to carry it on between changes.
struct HostTransport
{
    bool heard = false;
    bool playing = true;
    double bpm = freeRunBpm;
};

struct BlockTransport
{
    double bpm = freeRunBpm;
    double ppq = 0.0;
    bool playing = true;
};

// Audio thread. lastPpq is the position the previous block ended at.
BlockTransport resolveTransport (const juce::Optional<juce::AudioPlayHead::PositionInfo>& position,
                                 HostTransport& host, double lastPpq, double sampleRate);

} // namespace vl
