// RINGLAN: the binary layout of the family's shared audio ring file and the reads and stamps on its bytes.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>

namespace vl
{

static_assert (std::endian::native == std::endian::little, "the ring file is little-endian and read in place");

constexpr std::uint32_t ringMagic = 0x52474C4E; // "RGLN" read from the most significant byte
constexpr std::uint32_t ringVersion = 1;
constexpr int ringChannels = 4;
constexpr std::size_t ringHeaderBytes = 64;
constexpr std::uint64_t ringSlots = 960'000; // 20 s at 48 kHz
constexpr std::size_t ringFrameBytes = 2 * sizeof (float); // left, right
constexpr std::size_t ringChannelBytes = ringHeaderBytes + ringSlots * ringFrameBytes; // 7,680,064
constexpr std::size_t ringFileBytes = ringChannels * ringChannelBytes; // 30,720,256

// Header field offsets inside a channel block; the 40 bytes from 24 belong to other family members.
constexpr std::size_t ringMagicOffset = 0;
constexpr std::size_t ringVersionOffset = 4;
constexpr std::size_t ringFramesWrittenOffset = 8;
constexpr std::size_t ringLastWriteOffset = 16;

// 912,000 of 960,000 slots: 48,000 frames (1 s) stay between the oldest frame read and the
// writer's next slot, so a read never meets the writer.
constexpr std::uint64_t ringReadFrames = 912'000;
constexpr double ringSampleRate = 48000.0; // not stored in the file; every member writes 48 kHz
constexpr std::int64_t ringFreshMs = 2999;  // a channel older than this has lost its writer

// ~/.config/Trevlor/Ringlan/ringlan.ring, with the configuration folder resolved the way the
// family's plug-ins resolve it: an XDG_CONFIG_HOME line in <home>/.config/user-dirs.dirs naming an
// existing folder, else <home>/.config. The environment is not consulted. Any thread.
std::filesystem::path ringFilePath (const std::filesystem::path& home);

// Message thread, before mapping. Creates the folder and, unless a file of exactly ringFileBytes is
// already there, writes a zeroed one. A wrong-sized file is replaced through a temporary file and a
// rename, so a process still mapping the old file never has pages cut from under it. False when no
// full-size file could be made.
bool prepareRingFile (const std::filesystem::path& file);

// Block index for the raw `ringlakanal` value 1..4: rounded, minus one, clamped to 0..3.
int ringChannelFor (float ringlakanal);

// True when the bytes are a whole ring file that can be read in place (size and 8-byte alignment
// for the atomic counters).
bool isRingFile (std::span<const std::byte> file);

// True when the file is usable and block `channel` carries the family's magic.
bool isChannelStamped (std::span<const std::byte> file, int channel);

// Message thread, at opening. Stamps every block whose magic is foreign: magic and version, then
// both counters zeroed. Stamped blocks are left alone whatever their version. Returns the number of
// blocks stamped; nothing happens to bytes that are not a usable ring file.
int stampRing (std::span<std::byte> file);

// Atomic reads of a block's counters; 0 for an unusable file, an unstamped block or a bad channel.
// Any thread.
std::uint64_t ringFramesWritten (std::span<const std::byte> file, int channel);
std::int64_t ringLastWriteMs (std::span<const std::byte> file, int channel);

// Wall-clock milliseconds since 1970-01-01 UTC, the clock of `lastWriteMs`.
std::int64_t ringNowMs();

// A channel is live while its writer stamped it at most 2999 ms before `nowMs`. Any thread
// (the ghost refresh on the pool worker, the boxes panel on the message thread).
bool isRingChannelLive (std::span<const std::byte> file, int channel, std::int64_t nowMs);

// Pool worker. Copies the newest frames of `channel`, oldest first, into left and right: n =
// min(framesWritten, 912,000, left.size(), right.size()) frames, those with absolute indices
// framesWritten − n … framesWritten − 1. The counter is read once, so frames the writer adds
// meanwhile are not taken. Returns n; 0 for an unusable file or block. Liveness is the caller's
// check (isRingChannelLive).
std::size_t readRingChannel (std::span<const std::byte> file, int channel, std::span<float> left, std::span<float> right);

} // namespace vl
