// What the engine publishes for the editor once per chunk, and the sequence counter that guards it.
#pragma once

#include "patterns/Pattern.h"

#include <array>
#include <atomic>
#include <cstdint>

namespace vl
{

struct View
{
    std::array<Pattern, numLanes> patterns {};
    std::array<float, numLanes> step {};   // playhead per lane, in steps, fractional
    std::array<float, numLanes> meter {};
    std::array<float, numLanes> gate {};
    std::array<float, numLanes> flash {};
    float arcLevel = 1.0f;
    float position16 = 0.0f;
    std::int64_t bar = 0;
    int historyCount = 0;
    std::array<int, 6> boxCount {};
    bool playing = false;
};

// A seqlock: one writer (the audio thread) never waits; readers retry while a write is under way.
class PublishedView
{
public:
    // Audio thread.
    template <typename Fill>
    void publish (Fill&& fill)
    {
        seq.fetch_add (1, std::memory_order_acq_rel); // odd: writing
        std::atomic_thread_fence (std::memory_order_release);
        fill (view);
        seq.fetch_add (1, std::memory_order_release); // even: settled
    }

    // Any other thread. Calls use with a consistent copy; false when four attempts met a write.
    template <typename Use>
    bool read (Use&& use) const
    {
        for (int attempt = 0; attempt < 4; ++attempt)
        {
            const auto before = seq.load (std::memory_order_acquire);
            if ((before & 1u) != 0)
                continue;
            View copy = view;
            std::atomic_thread_fence (std::memory_order_acquire);
            if (seq.load (std::memory_order_relaxed) == before)
            {
                use (copy);
                return true;
            }
        }
        return false;
    }

private:
    View view;
    std::atomic<std::uint32_t> seq { 0 };
};

} // namespace vl
