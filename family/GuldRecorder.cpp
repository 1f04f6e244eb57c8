// Sizing and the audio-thread writers of the GULD recorder.
#include "family/GuldRecorder.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace gv
{

std::uint64_t GuldRecorder::framesFor (int minutes, double sampleRate)
{
    if (! std::isfinite (sampleRate) || sampleRate <= 0.0)
        return 0;
    const double wanted = std::floor (static_cast<double> (std::max (1, minutes)) * 60.0 * sampleRate);
    // 2^62 frames is far past any memory; the cap only keeps the conversion defined.
    const auto whole = static_cast<std::uint64_t> (std::min (wanted, 0x1p62));
    return whole - whole % peakBlock;
}

void GuldRecorder::prepare (int minutes, double sampleRate)
{
    if (! std::isfinite (sampleRate) || sampleRate <= 0.0)
        return;

    rate = sampleRate;
    const auto wanted = framesFor (minutes, sampleRate);
    if (wanted == frames.load (std::memory_order_relaxed) && ring != nullptr)
        return;

    if (! allocate (wanted))
        allocate (framesFor (fallbackMinutes, sampleRate));
}

bool GuldRecorder::allocate (std::uint64_t capacityFrames)
{
    // The old ring goes first, so a 20-minute ring being replaced does not have to fit twice.
    frames.store (0, std::memory_order_release);
    position.store (0, std::memory_order_release);
    hitCount.store (0, std::memory_order_release);
    peak = 0.0f;
    peakCount = 0;
    ring.reset();
    ringSamples = 0;

    const auto samples = static_cast<std::size_t> (2 * capacityFrames);
    ring.reset (static_cast<std::int16_t*> (std::calloc (samples, sizeof (std::int16_t))));
    if (ring == nullptr && samples > 0)
        return false;
    try
    {
        overview.assign (static_cast<std::size_t> (capacityFrames / peakBlock), 0);
        hitRing.assign (eventSlots, HitEvent {});
    }
    catch (const std::exception&)
    {
        ring.reset();
        return false;
    }
    ringSamples = samples;

    frames.store (capacityFrames, std::memory_order_release);
    return true;
}

std::int16_t GuldRecorder::toSample (float x)
{
    // ±32767, never −32768, so a full-scale negative sample mirrors the positive one; NaN is
    // silence rather than whatever the conversion makes of it.
    if (x > 1.0f) return 32767;
    if (x < -1.0f) return -32767;
    if (! (x == x)) return 0;
    return static_cast<std::int16_t> (std::lround (32767.0f * x));
}

void GuldRecorder::write (float left, float right)
{
    const auto capacityFrames = frames.load (std::memory_order_relaxed);
    if (capacityFrames == 0)
        return;

    const auto pos = position.load (std::memory_order_relaxed);
    const auto i = static_cast<std::size_t> (pos % capacityFrames);
    ring[2 * i] = toSample (left);
    ring[2 * i + 1] = toSample (right);

    // Written as comparisons so a NaN sample leaves the running peak alone.
    const float l = std::fabs (left), r = std::fabs (right);
    if (l > peak) peak = l;
    if (r > peak) peak = r;
    if (peakCount++ == static_cast<int> (peakBlock) - 1)
    {
        // min before the cast: a peak far above full scale must not overflow the conversion.
        const auto block = static_cast<std::size_t> ((pos / peakBlock) % (capacityFrames / peakBlock));
        overview[block] = static_cast<std::uint8_t> (std::min (peak, 1.0f) * 255.0f);
        peak = 0.0f;
        peakCount = 0;
    }

    position.store (pos + 1, std::memory_order_release);
}

void GuldRecorder::addEvent (int lane, int note, int velocity, int length)
{
    if (hitRing.empty())
        return;

    const auto count = hitCount.load (std::memory_order_relaxed);
    auto& e = hitRing[static_cast<std::size_t> (count % eventSlots)];
    e.position = position.load (std::memory_order_relaxed);
    // The caller clamps already; clamping again keeps a stray value from wrapping in a byte.
    e.lane = static_cast<std::uint8_t> (std::clamp (lane, 0, 7));
    e.note = static_cast<std::uint8_t> (std::clamp (note, 0, 127));
    e.velocity = static_cast<std::uint8_t> (std::clamp (velocity, 1, 127));
    e.length = static_cast<std::uint8_t> (std::clamp (length, 1, 64));
    hitCount.store (count + 1, std::memory_order_release);
}

GuldRecorder::Window GuldRecorder::window() const
{
    const auto end = writePos();
    const auto capacityFrames = capacity();
    return { end > capacityFrames ? end - capacityFrames : 0, end };
}

} // namespace gv
