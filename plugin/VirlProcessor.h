// The plug-in object the host talks to: owns the parameters, the engine and everything that lives per instance.
#pragma once

#include "engine/Engine.h"
#include "plugin/HeldNotes.h"
#include "plugin/HostTransport.h"
#include "plugin/ParamCache.h"

#include <juce_audio_processors/juce_audio_processors.h>

#include <array>
#include <atomic>
#include <memory>
#include <vector>

namespace vl
{
struct Bank;
}

class VirlProcessor : public juce::AudioProcessor, private juce::Timer
{
public:
    VirlProcessor();
    ~VirlProcessor() override;

    const juce::String getName() const override { return "VIRL"; }
    bool acceptsMidi() const override { return true; }
    bool producesMidi() const override { return false; }
    bool isMidiEffect() const override { return false; }
    bool hasEditor() const override { return true; }
    double getTailLengthSeconds() const override { return std::numeric_limits<double>::infinity(); }
    int getNumPrograms() override { return 1; }
    int getCurrentProgram() override { return 0; }
    void setCurrentProgram (int) override {}
    const juce::String getProgramName (int) override { return {}; }
    void changeProgramName (int, const juce::String&) override {}
    void releaseResources() override {}
    bool isBusesLayoutSupported (const BusesLayout& layouts) const override;

    juce::AudioProcessorEditor* createEditor() override;

    // Message thread, audio stopped.
    void prepareToPlay (double sampleRate, int maximumBlockSize) override;
    // Audio thread.
    void processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi) override;

    // Message thread.
    void getStateInformation (juce::MemoryBlock& destination) override;
    void setStateInformation (const void* data, int sizeInBytes) override;

    // Message thread. Applies preset index; out-of-range indices do nothing.
    void applyPreset (int index);

    // Message thread. Takes back the newest parameter snapshot; false when there is none.
    bool undo();

    // Message thread. New values within musical bounds, undoable, with a new variant to match.
    void randomiseAll();
    void randomiseLane (int lane);

    // Message or any non-audio thread: a command to the engine with a fresh seed where it needs one.
    bool postToEngine (vl::Command command);

    juce::AudioProcessorValueTreeState& parameters() { return apvts; }
    vl::Engine& getEngine() { return engine; }
    const vl::EngineParams& lastEngineParams() const { return engineParams; }
    int getCurrentPreset() const { return currentPreset.load(); }
    double getLastPpq() const { return lastPpq; }
    size_t getUndoDepth() const { return undoStack.size(); }

    static constexpr int latencySamples = 64;

private:
    void timerCallback() override;
    void renderBlock (float* left, float* right, int n, const vl::BlockTransport& transport, int offsetFrames);
    void readMidi (const juce::MidiBuffer& midi);
    void pushUndoSnapshot();
    void setValues (const std::vector<std::pair<juce::String, float>>& values);

    std::atomic<int> radioBusy { 0 };
    juce::AudioProcessorValueTreeState apvts;
    vl::Engine engine;
    std::atomic<int> currentPreset { -1 };
    std::vector<juce::ValueTree> undoStack;
    vl::ParamCache paramCache;
    vl::EngineParams engineParams;
    double lastPpq = 0.0;
    vl::HeldNotes heldNotes;
    vl::HostTransport hostTransport;
    juce::CriticalSection bankLock;
    juce::CriticalSection sourceLock;
    std::shared_ptr<const vl::Bank> currentBank;
    std::vector<std::pair<std::shared_ptr<const vl::Bank>, juce::uint32>> retiredBanks;
    juce::StringArray library;
    juce::String sourceName;
    juce::ThreadPool pool;
    std::shared_ptr<int> aliveToken;
    juce::int64 lastRadioBar = -1;
    juce::uint32 lastRefreshMs = 0;
    std::array<float, 48> egenDna {};
    bool egenValid = false;
    int bookmarkSlotCounter = 0;
    std::unique_ptr<juce::MemoryMappedFile> ring;
    juce::Random random;

    // Advanced by every state restore: a preset variant scheduled before it must not replace the
    // restored patterns when its delayed action finally runs.
    std::atomic<juce::uint32> presetGeneration { 0 };

    JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (VirlProcessor)
};
