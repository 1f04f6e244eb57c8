#include "engine/Command.h"

namespace vl
{

bool CommandQueue::post (const Command& command)
{
    const juce::SpinLock::ScopedLockType lock (commandLock);
    const int write = writeIndex.load (std::memory_order_relaxed);
    if (numReady (readIndex.load (std::memory_order_acquire), write) >= size - 1)
        return false;
    commands[(size_t) write] = command;
    writeIndex.exchange ((write + 1) % size, std::memory_order_acq_rel);
    return true;
}

} // namespace vl
