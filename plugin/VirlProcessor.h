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
#include <optional>
#include <vector>

#include "material/BankRetirement.h"

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

    // Any thread but the audio thread: makes bank current; the replaced one is retired, not freed.
    void installBank (std::shared_ptr<const vl::Bank> bank);
    // Any thread but the audio thread: the installed bank, shared.
    std::shared_ptr<const vl::Bank> currentBankCopy() const;
    // Message thread (FABRIK): factory material back in boxes 0..4, the ghost box kept.
    void restoreFactoryBank();

    // Pool thread: chops one audio file into the bank. Unreadable files change nothing.
    void chopIntoBank (const juce::File& file, int maxChips, float maxSeconds);
    // Message thread: files and folders (searched a few levels deep) join the library; the first new
    // file is chopped at once so the user hears their material soon. Returns how many files joined.
    int addToLibrary (const juce::StringArray& paths);
    // Message thread (RENSA). The chips already cut stay in the bank until FABRIK.
    void clearLibrary();
    juce::StringArray getLibrary() const;
    juce::String getSourceName() const;

    // Pool thread: refills the ghost box from the own output or the ring.
    void refreshSpoke();

    // Message thread: one tick of the background duties at millisecond counter now. The 100 ms
    // timer calls it; tests call it with chosen times.
    void backgroundTick (juce::uint32 now);
    // Any thread: radio chops queued or running.
    int radioJobsPending() const { return radioBusy.load(); }

    // Message thread: extracts the groove of a drum loop (EGEN) on the pool and hands it to the
    // engine; a file without a clear pulse keeps the previous groove. onDone (message thread) tells
    // whether a groove was taken.
    void extractGrooveFrom (const juce::File& loop, std::function<void (bool)> onDone = {});
    bool hasCustomGroove() const;
    // Message thread: whether the ring channel ringlakanal picks has a live writer.
    bool isRingLive() const;

    juce::AudioProcessorValueTreeState& parameters() { return apvts; }
    vl::Engine& getEngine() { return engine; }
    const vl::EngineParams& lastEngineParams() const { return engineParams; }
    int getCurrentPreset() const { return currentPreset.load(); }
    double getLastPpq() const { return lastPpq; }
    size_t getUndoDepth() const { return undoStack.size(); }

    static constexpr int latencySamples = 64;

private:
    void timerCallback() override;
    void queueRadioIfDue();
    void openRing();
    // Runs job on the pool unless the processor is gone by the time the job starts.
    void queueJob (std::function<void()> job);
    bool readOwnOutput (std::vector<float>& left, std::vector<float>& right, double& sampleRate);
    bool readRing (std::vector<float>& left, std::vector<float>& right);
    void renderBlock (float* left, float* right, int n, const vl::BlockTransport& transport, int offsetFrames);
    void readMidi (const juce::MidiBuffer& midi);
    // Any non-audio thread: keeps the EGEN groove (or none) and hands it to the engine.
    void takeGroove (const std::optional<std::array<float, 48>>& groove);
    std::optional<std::array<float, 48>> heldGroove() const;
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
    mutable juce::CriticalSection bankLock;
    mutable juce::CriticalSection sourceLock;
    std::shared_ptr<const vl::Bank> currentBank;
    std::vector<vl::RetiredBank> retiredBanks;
    // Held by a ghost job while it copies the recorder, and by prepareToPlay while it may resize it.
    juce::CriticalSection recorderReadLock;
    juce::StringArray library;
    juce::String sourceName;
    juce::ThreadPool pool;
    std::shared_ptr<int> aliveToken;
    juce::int64 lastRadioBar = -1;
    juce::uint32 lastRefreshMs = 0;
    // State restores (host thread), extraction results (message thread) and prepareToPlay all
    // write the groove; one lock keeps the values and the engine's buffer switch in step.
    mutable juce::CriticalSection egenLock;
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
