#include "plugin/RingWriter.h"

#include <algorithm>
#include <atomic>
#include <cstring>

namespace vl
{

namespace
{
template <typename T>
std::atomic_ref<T> field (std::byte* channelBlock, std::size_t offset)
{
    return std::atomic_ref<T> (*reinterpret_cast<T*> (channelBlock + offset));
}
} // namespace

RingWriter::RingWriter (std::span<std::byte> file, int channel)
{
    if (isChannelStamped (file, channel))
        channelBlock = file.data() + static_cast<std::size_t> (channel) * ringChannelBytes;
}

void RingWriter::write (std::span<const float> left, std::span<const float> right, std::int64_t nowMs)
{
    if (channelBlock == nullptr)
        return;

    static constexpr std::size_t step = 4096;
    auto framesWritten = field<std::uint64_t> (channelBlock, ringFramesWrittenOffset);
    auto* audio = channelBlock + ringHeaderBytes;
    const auto n = std::min (left.size(), right.size());

    for (std::size_t begin = 0; begin < n; begin += step)
    {
        const auto end = std::min (n, begin + step);
        auto index = framesWritten.load (std::memory_order_relaxed);
        for (auto j = begin; j < end; ++j, ++index)
        {
            const float frame[2] = { left[j], right[j] };
            std::memcpy (audio + (index % ringSlots) * ringFrameBytes, frame, sizeof frame);
        }
        // Release: a reader that sees the new count also sees the frames before it.
        framesWritten.store (index, std::memory_order_release);
    }
    field<std::int64_t> (channelBlock, ringLastWriteOffset).store (nowMs, std::memory_order_release);
}

} // namespace vl
