// Commands to the engine and the lock-free queue that carries them onto the audio thread.
#pragma once

#include <juce_core/juce_core.h>

#include <array>
#include <atomic>
#include <cstdint>

namespace vl
{

enum CommandKind : std::int32_t
{
    NextAll = 0,
    NextLane = 1,
    Back = 2,
    SetBookmark = 3,
    RecallBookmark = 4,
    RestoreRoll = 5
};

struct Command
{
    std::int32_t kind = NextAll;
    std::int32_t lane = 0;
    std::int32_t seed = 0;
    std::int32_t slot = 0;
};

// Single reader (the audio thread), any number of writers serialised by a spin lock.
// One slot always stays free, so at most 255 commands wait; a full queue drops the newcomer.
class CommandQueue
{
public:
    static constexpr int size = 256;

    // Any non-audio thread. Returns false when the command was dropped.
    bool post (const Command& command);

    // Audio thread: runs every command that was ready when it was called, in FIFO order.
    template <typename Handler>
    void drain (Handler&& handle)
    {
        const int read = readIndex.load (std::memory_order_relaxed);
        const int ready = numReady (read, writeIndex.load (std::memory_order_acquire));
        for (int i = 0; i < ready; ++i)
            handle (commands[(size_t) ((read + i) % size)]);
        readIndex.store ((read + ready) % size, std::memory_order_release);
    }

    // Any thread; a snapshot that may be stale by the time it is used.
    int numWaiting() const
    {
        return numReady (readIndex.load (std::memory_order_acquire), writeIndex.load (std::memory_order_acquire));
    }

private:
    static int numReady (int read, int write) { return write >= read ? write - read : size - (read - write); }

    std::array<Command, size> commands {};
    std::atomic<int> readIndex { 0 };
    std::atomic<int> writeIndex { 0 };
    juce::SpinLock commandLock;
};

} // namespace vl
