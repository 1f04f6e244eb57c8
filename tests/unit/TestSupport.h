// Shared test helpers: a running JUCE message loop, an audio-thread audit and a scriptable play head.
#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

#include <atomic>

namespace virltest
{

// Counts heap calls and blocking lock calls made by the current thread while it lives.
class AudioThreadAudit
{
public:
    AudioThreadAudit();
    ~AudioThreadAudit();

    int allocations() const;
    int frees() const;
    int locks() const;

private:
    int startAllocations, startFrees, startLocks;
};

// Runs the JUCE message loop on this (the message) thread for the given time.
void pumpMessages (int milliseconds);

struct ScriptedPlayHead : juce::AudioPlayHead
{
    juce::Optional<PositionInfo> position;
    juce::Optional<PositionInfo> getPosition() const override { return position; }
};

} // namespace virltest
