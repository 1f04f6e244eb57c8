#include "plugin/RingLayout.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>

#include <unistd.h>

namespace vl
{

namespace fs = std::filesystem;

namespace
{
std::string_view trim (std::string_view s)
{
    constexpr std::string_view space = " \t\r\n";
    const auto first = s.find_first_not_of (space);
    if (first == std::string_view::npos)
        return {};
    return s.substr (first, s.find_last_not_of (space) - first + 1);
}

// One quote character off either end, as the settings files of the desktop write them.
std::string_view unquote (std::string_view s)
{
    if (! s.empty() && (s.front() == '"' || s.front() == '\''))
        s.remove_prefix (1);
    if (! s.empty() && (s.back() == '"' || s.back() == '\''))
        s.remove_suffix (1);
    return s;
}

std::string replaceAll (std::string text, std::string_view from, const std::string& to)
{
    for (auto at = text.find (from); at != std::string::npos; at = text.find (from, at + to.size()))
        text.replace (at, from.size(), to);
    return text;
}

fs::path configFolder (const fs::path& home)
{
    std::ifstream dirs (home / ".config" / "user-dirs.dirs");
    for (std::string line; std::getline (dirs, line);)
    {
        const auto start = line.find_first_not_of (" \t");
        if (start == std::string::npos || line.compare (start, 15, "XDG_CONFIG_HOME") != 0)
            continue;
        const auto withHome = replaceAll (line.substr (start), "$HOME", home.string());
        const auto equals = withHome.find ('=');
        if (equals == std::string::npos)
            continue;
        const fs::path named { std::string (unquote (trim (std::string_view (withHome).substr (equals + 1)))) };
        std::error_code ec;
        if (named.is_absolute() && fs::is_directory (named, ec))
            return named;
    }
    return home / ".config";
}

bool isFullSize (const fs::path& file)
{
    std::error_code ec;
    const auto size = fs::file_size (file, ec);
    return ! ec && size == ringFileBytes;
}

// Real zeros rather than a sparse file: the blocks are allocated now, so a full disk fails here
// and not later as a bus error inside a mapping.
bool writeZeros (const fs::path& file)
{
    std::ofstream out (file, std::ios::binary | std::ios::trunc);
    if (! out)
        return false;
    static constexpr std::size_t chunk = 65'536;
    static const std::string zeros (chunk, '\0');
    for (std::size_t left = ringFileBytes; left > 0 && out;)
    {
        const auto n = std::min (left, chunk);
        out.write (zeros.data(), static_cast<std::streamsize> (n));
        left -= n;
    }
    out.flush();
    return static_cast<bool> (out);
}

const std::byte* block (std::span<const std::byte> file, int channel)
{
    if (! isRingFile (file) || channel < 0 || channel >= ringChannels)
        return nullptr;
    return file.data() + static_cast<std::size_t> (channel) * ringChannelBytes;
}

std::byte* block (std::span<std::byte> file, int channel)
{
    return const_cast<std::byte*> (block (std::span<const std::byte> (file), channel));
}

// The counters are shared with other processes through the mapping. An atomic load never writes,
// so reading through a const view is sound even where the mapping is read-only.
template <typename T>
std::atomic_ref<T> counter (const std::byte* channelBlock, std::size_t offset)
{
    return std::atomic_ref<T> (*reinterpret_cast<T*> (const_cast<std::byte*> (channelBlock + offset)));
}

std::uint32_t loadMagic (const std::byte* channelBlock)
{
    std::uint32_t magic = 0;
    std::memcpy (&magic, channelBlock + ringMagicOffset, sizeof magic);
    return magic;
}
} // namespace

fs::path ringFilePath (const fs::path& home) { return configFolder (home) / "Trevlor" / "Ringlan" / "ringlan.ring"; }

bool prepareRingFile (const fs::path& file)
{
    std::error_code ec;
    fs::create_directories (file.parent_path(), ec);
    if (isFullSize (file))
        return true;

    // Built aside and moved in whole: a sibling opening the file meanwhile sees either no file, the
    // old one or a complete new one, never a half-written one.
    auto temp = file;
    temp += "." + std::to_string (::getpid()) + ".tmp";
    if (! writeZeros (temp))
    {
        fs::remove (temp, ec);
        return false;
    }
    if (! fs::exists (file, ec))
    {
        // A link never replaces: when a sibling created the file first, its file stays.
        fs::create_hard_link (temp, file, ec);
        if (! ec || isFullSize (file))
        {
            fs::remove (temp, ec);
            return isFullSize (file);
        }
    }
    fs::rename (temp, file, ec);
    if (ec)
        fs::remove (temp, ec);
    return isFullSize (file);
}

int ringChannelFor (float ringlakanal)
{
    if (! std::isfinite (ringlakanal))
        return 0;
    const float index = std::round (std::clamp (ringlakanal, 0.0f, 5.0f)) - 1.0f;
    return std::clamp (static_cast<int> (index), 0, ringChannels - 1);
}

bool isRingFile (std::span<const std::byte> file)
{
    return file.size() == ringFileBytes
           && reinterpret_cast<std::uintptr_t> (file.data()) % alignof (std::uint64_t) == 0;
}

bool isChannelStamped (std::span<const std::byte> file, int channel)
{
    const auto* b = block (file, channel);
    return b != nullptr && loadMagic (b) == ringMagic;
}

int stampRing (std::span<std::byte> file)
{
    int stamped = 0;
    for (int channel = 0; channel < ringChannels; ++channel)
    {
        auto* b = block (file, channel);
        if (b == nullptr || loadMagic (b) == ringMagic)
            continue;
        // Magic and version in one 8-byte store, so a sibling never sees a magic without its version.
        const std::uint64_t word = ringMagic | (std::uint64_t { ringVersion } << 32);
        counter<std::uint64_t> (b, ringMagicOffset).store (word, std::memory_order_relaxed);
        counter<std::uint64_t> (b, ringFramesWrittenOffset).store (0, std::memory_order_release);
        counter<std::int64_t> (b, ringLastWriteOffset).store (0, std::memory_order_release);
        ++stamped;
    }
    return stamped;
}

std::uint64_t ringFramesWritten (std::span<const std::byte> file, int channel)
{
    if (! isChannelStamped (file, channel))
        return 0;
    return counter<std::uint64_t> (block (file, channel), ringFramesWrittenOffset).load (std::memory_order_acquire);
}

std::int64_t ringLastWriteMs (std::span<const std::byte> file, int channel)
{
    if (! isChannelStamped (file, channel))
        return 0;
    return counter<std::int64_t> (block (file, channel), ringLastWriteOffset).load (std::memory_order_acquire);
}

std::int64_t ringNowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds> (system_clock::now().time_since_epoch()).count();
}

bool isRingChannelLive (std::span<const std::byte> file, int channel, std::int64_t nowMs)
{
    // Compared without a subtraction that could overflow on a garbage stamp; a stamp ahead of the
    // clock counts as fresh.
    const auto last = ringLastWriteMs (file, channel);
    return last > 0 && (nowMs <= last || nowMs - last <= ringFreshMs);
}

std::size_t readRingChannel (std::span<const std::byte> file, int channel, std::span<float> left, std::span<float> right)
{
    const auto written = ringFramesWritten (file, channel);
    const auto n = std::min ({ written, ringReadFrames, std::uint64_t { left.size() }, std::uint64_t { right.size() } });
    if (n == 0)
        return 0;

    const auto* audio = block (file, channel) + ringHeaderBytes;
    for (std::uint64_t j = 0; j < n; ++j)
    {
        const auto slot = (written - n + j) % ringSlots;
        float frame[2];
        std::memcpy (frame, audio + slot * ringFrameBytes, sizeof frame);
        left[j] = frame[0];
        right[j] = frame[1];
    }
    return static_cast<std::size_t> (n);
}

} // namespace vl
