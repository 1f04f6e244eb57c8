// The writer's half of the RINGLAN protocol: what a sibling instrument does to put audio into a channel.
#pragma once

#include "plugin/RingLayout.h"

#include <cstddef>
#include <cstdint>
#include <span>

namespace vl
{

// Writes frames into one stamped channel of a mapped ring file, continuing from the channel's own
// counter, so a restarted writer carries on where the last one stopped. VIRL itself only reads the
// ring; this serves tests and the demo tool. One writer per channel, one thread.
class RingWriter
{
public:
    // A writer on an unusable file, a bad channel or an unstamped block writes nothing.
    RingWriter (std::span<std::byte> file, int channel);

    bool isValid() const { return channelBlock != nullptr; }

    // Each frame goes into slot framesWritten mod 960,000 before the counter is advanced past it;
    // then lastWriteMs becomes `nowMs`. Long writes advance the counter every 4096 frames, so a
    // reader never sees a counter ahead of its frames nor frames far ahead of the counter.
    void write (std::span<const float> left, std::span<const float> right, std::int64_t nowMs);

private:
    std::byte* channelBlock = nullptr;
};

} // namespace vl
