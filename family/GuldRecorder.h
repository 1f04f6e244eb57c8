// GULD: the always-on recorder of the master output and of every fired hit.
#pragma once

#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <vector>

namespace gv
{

// One fired hit, stamped with the recording position it fired at. The defaults are what an
// entry holds before its first write.
struct HitEvent
{
    std::uint64_t position = 0; // writePos when the hit fired
    std::uint8_t lane = 0;      // 0..7
    std::uint8_t note = 0;      // 0..127
    std::uint8_t velocity = 0;  // 1..127 once written
    std::uint8_t length = 1;    // sixteenths, 1..64
};

// A ring of the last minutes of 16-bit interleaved stereo, one peak byte per 1024 frames and the
// last 65536 hits. The audio thread is the only writer; other threads read without locking by
// loading writePos, capacity and eventCount first and then reading the arrays.
class GuldRecorder
{
public:
    static constexpr std::uint64_t peakBlock = 1024;
    static constexpr std::size_t eventSlots = 65536;
    static constexpr int fallbackMinutes = 2;

    // Ring length for `minutes` (at least 1) at `sampleRate`, rounded down to whole peak blocks,
    // so peak block k always covers frames k·1024 .. k·1024 + 1023.
    static std::uint64_t framesFor (int minutes, double sampleRate);

    // Message thread, audio thread stopped and no reader running. Resizes and clears the rings
    // when the length changes or nothing is allocated yet; falls back to 2 minutes if memory runs
    // out. A rate that is not a positive finite number is ignored.
    void prepare (int minutes, double sampleRate);

    // Audio thread. One master-output frame: kept while playing, and while stopped only when it
    // is not silent, so ringing voices and record noise stay in the ring but silence does not.
    void record (float left, float right, bool playing)
    {
        if (playing || std::fabs (left) + std::fabs (right) > 1.0e-5f)
            write (left, right);
    }

    // Audio thread. Stores one frame unconditionally (nothing while the ring is unsized).
    void write (float left, float right);

    // Audio thread. Logs a hit at the current write position; the oldest hit goes after 65536.
    void addEvent (int lane, int note, int velocity, int length);

    // Any thread.
    std::uint64_t writePos() const { return position.load (std::memory_order_acquire); }
    std::uint64_t eventCount() const { return hitCount.load (std::memory_order_acquire); }
    std::uint64_t capacity() const { return frames.load (std::memory_order_acquire); }

    // Read like the arrays: the rate the ring was last sized for.
    double sampleRate() const { return rate; }

    // Frames still in the ring: [max(0, writePos − capacity), writePos). Readers clamp every
    // range to this, because older frames have been overwritten.
    struct Window
    {
        std::uint64_t begin = 0;
        std::uint64_t end = 0;
    };
    Window window() const;

    // Readers. Frame f sits at audio()[2·(f mod capacity)] (left) and the entry after (right);
    // peak block k at peaks()[k mod (capacity / 1024)]; hit k at events()[k mod 65536].
    std::span<const std::int16_t> audio() const { return { ring.get(), ringSamples }; }
    std::span<const std::uint8_t> peaks() const { return overview; }
    std::span<const HitEvent> events() const { return hitRing; }

    // Tempo of the last chunk, written by the engine every chunk; exports read it.
    std::atomic<double> bpm { 124.0 };

private:
    static std::int16_t toSample (float x);
    bool allocate (std::uint64_t capacityFrames);

    // Zeroed by the system page by page as it is first written: a ten-minute ring is 115 MB, and
    // clearing it eagerly would keep a DAW waiting for a third of a second per instance.
    struct FreeDeleter
    {
        void operator() (std::int16_t* p) const { std::free (p); }
    };
    std::unique_ptr<std::int16_t[], FreeDeleter> ring;
    std::size_t ringSamples = 0;
    std::vector<std::uint8_t> overview;
    std::vector<HitEvent> hitRing;

    std::atomic<std::uint64_t> frames { 0 };
    std::atomic<std::uint64_t> position { 0 };
    std::atomic<std::uint64_t> hitCount { 0 };
    double rate = 48000.0;

    // Audio thread only.
    float peak = 0.0f;
    int peakCount = 0;
};

} // namespace gv
