// ringla-demo: plays the sibling's side of the shared ring, writing a sine into one channel in real time.
//
//   ringla-demo [channel 1..4] [seconds] [hertz]
//
// Creates ~/.config/Trevlor/Ringlan/ringlan.ring when missing, maps it shared and writes 10 ms blocks
// at 48 kHz, so a running VIRL with SPÖKE-KÄLLA on VALMA and that channel hears the tone.
#include "plugin/RingLayout.h"
#include "plugin/RingWriter.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <numbers>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace
{
double argument (int argc, char** argv, int i, double fallback) { return argc > i ? std::atof (argv[i]) : fallback; }
} // namespace

int main (int argc, char** argv)
{
    const int channel = vl::ringChannelFor (static_cast<float> (argument (argc, argv, 1, 1.0)));
    const double seconds = argument (argc, argv, 2, 10.0);
    const double hertz = argument (argc, argv, 3, 220.0);

    const char* home = std::getenv ("HOME");
    if (home == nullptr)
        return std::fprintf (stderr, "HOME is not set\n"), 1;
    const auto path = vl::ringFilePath (home);
    if (! vl::prepareRingFile (path))
        return std::fprintf (stderr, "cannot create %s\n", path.c_str()), 1;

    const int fd = ::open (path.c_str(), O_RDWR);
    void* mapped = fd < 0 ? MAP_FAILED : ::mmap (nullptr, vl::ringFileBytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (mapped == MAP_FAILED)
        return std::fprintf (stderr, "cannot map %s\n", path.c_str()), 1;
    const std::span<std::byte> file (static_cast<std::byte*> (mapped), vl::ringFileBytes);
    vl::stampRing (file);

    vl::RingWriter writer (file, channel);
    std::printf ("writing %.0f Hz into channel %d of %s for %.1f s\n", hertz, channel + 1, path.c_str(), seconds);

    constexpr int block = 480; // 10 ms at the ring's 48 kHz
    std::vector<float> left (block), right (block);
    const auto blocks = static_cast<long> (seconds * vl::ringSampleRate / block);
    const auto start = std::chrono::steady_clock::now();
    double phase = 0.0;
    for (long b = 0; b < blocks; ++b)
    {
        for (int i = 0; i < block; ++i)
        {
            left[static_cast<std::size_t> (i)] = right[static_cast<std::size_t> (i)] = 0.5f * static_cast<float> (std::sin (phase));
            phase = std::fmod (phase + 2.0 * std::numbers::pi * hertz / vl::ringSampleRate, 2.0 * std::numbers::pi);
        }
        writer.write (left, right, vl::ringNowMs());
        std::this_thread::sleep_until (start + std::chrono::milliseconds ((b + 1) * 10));
    }

    std::printf ("done: %llu frames written in all\n", static_cast<unsigned long long> (vl::ringFramesWritten (file, channel)));
    ::munmap (mapped, vl::ringFileBytes);
    ::close (fd);
    return 0;
}
