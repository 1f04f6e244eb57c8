// The real-time groove engine: commands in, timed hits, voices and a mastered stereo signal out.
#pragma once

#include "engine/Command.h"
#include "engine/EngineParams.h"
#include "engine/Master.h"
#include "engine/Voices.h"
#include "engine/RollSnapshot.h"
#include "engine/View.h"
#include "family/GuldRecorder.h"
#include "patterns/Roll.h"

#include <juce_core/juce_core.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>

namespace vl
{

struct Bank;

// The eight lanes' current patterns and seeds at one moment: history and bookmarks hold these.
struct HistoryEntry
{
    std::array<Pattern, numLanes> patterns {};
    std::array<std::uint32_t, numLanes> seeds {};
};

class Engine
{
public:
    static constexpr int maxChunk = 256;
    static constexpr int maxPending = 512;
    static constexpr int historySize = 16;
    static constexpr int bookmarkSlots = 32;

    using Groove = std::array<float, 48>; // timing, accent, ghost: 16 steps each
    using Gens = std::array<LaneGen, numLanes>;

    // A hit waiting for its sample.
    struct Pending
    {
        std::int64_t time = 0;
        int lane = 0;
        std::uint8_t on = 1;
        std::uint8_t ghost = 0;
        std::uint8_t accent = 0;
        std::uint8_t stepReverse = 0;
        std::int8_t pitch = 0;
        std::int8_t nudge = 0;
        std::uint16_t chip = 0;
        float velocity = 0.0f;
        float sixteenthSamples = 0.0f;
        bool reverse = false;
        std::uint32_t sixteenth = 0;
    };

    // Lets tests and tools watch the engine's decisions without touching the audio path:
    // plain function pointers, called on the audio thread, must neither allocate nor block.
    struct Probe
    {
        void* context = nullptr;
        // A hit entered the pending queue; offset16 is its groove offset in sixteenths.
        void (*scheduled) (void* context, const Pending& hit, float offset16) = nullptr;
        // A hit fired at absolute sample `sample`.
        void (*fired) (void* context, const Pending& hit, std::int64_t sample) = nullptr;
    };

    Engine();

    // Message thread, audio stopped. Patterns are generated the first time only.
    void prepare (double sampleRate, int recorderMinutes);

    // Audio thread. Renders n (1..256) frames into left and right, overwriting them.
    void processChunk (const EngineParams& p, double bpm, double ppq, bool playing, float* left, float* right, int n);

    // Any non-audio thread. False when the queue was full and the command dropped.
    bool post (const Command& command) { return commands.post (command); }

    // Any non-audio thread. Calls use with a consistent copy of the view; false when the engine kept writing.
    bool readView (const std::function<void (const View&)>& use) const { return view.read (use); }

    // Message thread. Copies the published roll under snapLock (the audio thread only tries it).
    RollSnapshot publishedRoll() const;

    // Message thread. The roll that the next RestoreRoll command takes over.
    void setRestoreSnapshot (const RollSnapshot& snapshot);

    // Message thread or a job: the EGEN groove, written into the idle buffer and then made live.
    void setCustomDna (const std::array<float, 48>& values);

    // Audio thread (or a test between chunks): the EGEN groove buffer currently live.
    const std::array<float, 48>& liveCustomGroove() const
    {
        return customDna[(size_t) liveCustomDna.load (std::memory_order_acquire)];
    }

    double sampleRate() const { return rate; }
    bool isPrepared() const { return prepared; }

    // Shared single atomics.
    std::atomic<const Bank*> bank { nullptr };
    std::atomic<double> bpm { 124.0 };
    gv::GuldRecorder recorder; // written on the audio thread; timeline, export and ghost jobs read it
    std::atomic<int> midiNote { -1 };
    std::atomic<std::int64_t> bar { 0 };
    std::atomic<bool> playing { false };

    // Audio-thread state below; public so tests and the later stages can inspect it between chunks.
    Roll roll;
    std::int64_t lastMutBar = -1;
    std::uint32_t seedAll = 375313;
    bool wasPlaying = false;
    bool resync = true;
    double expectedPpq = 0.0;
    std::int64_t nextSixteenth = 0;
    std::int64_t sampleCounter = 0;

    std::array<Pending, maxPending> pending {};
    std::atomic<int> pendingCount { 0 };
    std::array<int, numLanes> lastChip {};

    std::array<float, numLanes> laneGate {};
    std::array<float, numLanes> laneGateShown {};
    std::array<float, numLanes> flash {};
    std::array<float, numLanes> meter {};
    float arcLevel = 1.0f;

    std::array<HistoryEntry, historySize> history {};
    int historyHead = 0;
    int historyCount = 0;

    float bassBendTarget = 0.0f; // semitones the bass glides toward during this bar
    Probe probe;

    std::array<HistoryEntry, bookmarkSlots> bookmarks {};
    std::array<std::atomic<std::uint64_t>, bookmarkSlots> bookmarkPosition {};
    std::array<std::atomic<bool>, bookmarkSlots> bookmarkValid {};

private:
    void runCommand (const Command& command, const EngineParams& p, const Gens& gens);
    void emptyPending() { pendingCount.store (0, std::memory_order_release); }
    void appendPending (const Pending& hit);
    void restoreRoll();
    void followTransport (const EngineParams& p, const Gens& gens, const Groove& groove, double bpm, double ppq,
                          bool playing, int n);
    void relocate (const EngineParams& p, const Gens& gens, double bpm, double ppq);
    void onBar (const EngineParams& p, std::int64_t bar, double bpm, const Gens& gens);
    void replayMutations (const EngineParams& p, const Gens& gens, std::int64_t from, std::int64_t to, double tempo);
    void scheduleSixteenth (const EngineParams& p, std::int64_t j, double ppq, double samplesPerSixteenth,
                            std::int64_t chunkStartSample, const Groove& groove);
    void setBendTargetForBar (const EngineParams& p, std::int64_t bar);
    void recallLastChips (const EngineParams& p, const Pattern* previousPatterns, std::int64_t firstUnplayed);

    void pushHistory();
    void nextAll (std::uint32_t seed, const Gens& gens);
    void nextLane (int lane, std::uint32_t seed, const Gens& gens);
    void back (const Gens& gens);
    void takeEntry (const HistoryEntry& entry, const Gens& gens);
    void setBookmark (std::int32_t slot);
    void recallBookmark (std::int32_t slot, const Gens& gens);
    std::uint64_t recorderPosition() const { return recorder.writePos(); }
    std::int64_t barStamp() const;

    void renderLanes (const EngineParams& p, const Bank* chunkBank, float* const* bl, float* const* br, int n);
    void fireHit (const EngineParams& p, const Bank* chunkBank, const Pending& hit, std::int64_t sample);
    void mixToOutput (const EngineParams& p, float* left, float* right, int n, bool isPlaying);
    void publishView (const EngineParams& p, double ppq, const Bank* chunkBank);
    void publishRoll();

    double rate = 48000.0;
    bool prepared = false;
    MasterChain master;
    Voices voices;

    // Per-lane stereo buses, sized in prepare.
    // Per-lane stereo buses; a chunk never exceeds their length.
    std::array<std::array<float, maxChunk>, numLanes> busLeft {};
    std::array<std::array<float, maxChunk>, numLanes> busRight {};

    CommandQueue commands;
    // Two buffers, as for the custom groove: a restore writes the idle one and then makes it live,
    // so a second restore never writes the snapshot the audio thread may be copying.
    std::array<RollSnapshot, 2> restoreSnapshots {};
    std::atomic<int> liveRestoreSnapshot { 0 };
    std::array<std::array<float, 48>, 2> customDna {};
    std::atomic<int> liveCustomDna { 0 };

    PublishedView view;
    mutable juce::SpinLock snapLock;
    RollSnapshot published {};
};

} // namespace vl
