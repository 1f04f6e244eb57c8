// RINGLAN: file location and creation, header stamps, liveness, the reader's slot order and a writer round trip.
#include "plugin/RingLayout.h"
#include "plugin/RingWriter.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <random>
#include <vector>

#include <unistd.h>

namespace
{

namespace fs = std::filesystem;

std::uint64_t load64 (const std::vector<std::byte>& file, int channel, std::size_t offset)
{
    std::uint64_t v = 0;
    std::memcpy (&v, file.data() + static_cast<std::size_t> (channel) * vl::ringChannelBytes + offset, sizeof v);
    return v;
}

void store64 (std::vector<std::byte>& file, int channel, std::size_t offset, std::uint64_t v)
{
    std::memcpy (file.data() + static_cast<std::size_t> (channel) * vl::ringChannelBytes + offset, &v, sizeof v);
}

// The frame with absolute index i carries i in its left sample and −i in its right one.
void fillSlotsWithIndices (std::vector<std::byte>& file, int channel, std::uint64_t framesWritten)
{
    auto* audio = file.data() + static_cast<std::size_t> (channel) * vl::ringChannelBytes + vl::ringHeaderBytes;
    const auto first = framesWritten > vl::ringSlots ? framesWritten - vl::ringSlots : 0;
    for (auto i = first; i < framesWritten; ++i)
    {
        const float frame[2] = { static_cast<float> (i), -static_cast<float> (i) };
        std::memcpy (audio + (i % vl::ringSlots) * vl::ringFrameBytes, frame, sizeof frame);
    }
    store64 (file, channel, vl::ringFramesWrittenOffset, framesWritten);
}

std::vector<std::byte> stampedRing()
{
    std::vector<std::byte> file (vl::ringFileBytes);
    vl::stampRing (file);
    return file;
}

std::vector<std::byte> readWhole (const fs::path& path)
{
    std::ifstream in (path, std::ios::binary);
    std::vector<std::byte> bytes (fs::file_size (path));
    in.read (reinterpret_cast<char*> (bytes.data()), static_cast<std::streamsize> (bytes.size()));
    return bytes;
}

TEST (RingLayout, SizesAreTheSharedFormat)
{
    EXPECT_EQ (vl::ringChannelBytes, 7'680'064u);
    EXPECT_EQ (vl::ringFileBytes, 30'720'256u);
    EXPECT_EQ (vl::ringChannelBytes % 8, 0u); // every block's counters stay 8-byte aligned
}

TEST (RingLayout, ChannelParameterRoundsAndClamps)
{
    const std::pair<float, int> cases[] = { { 1.0f, 0 }, { 4.0f, 3 }, { 2.4f, 1 }, { 2.6f, 2 }, { 0.0f, 0 },
                                            { 9.0f, 3 }, { -3.0f, 0 }, { NAN, 0 } };
    for (auto [value, channel] : cases)
        EXPECT_EQ (vl::ringChannelFor (value), channel) << value;
}

TEST (RingLayout, UnusableBytesAreRejectedEverywhere)
{
    std::vector<std::byte> thousand (1000);
    std::vector<std::byte> oneShort (vl::ringFileBytes - 1);
    std::vector<float> left (16), right (16);
    for (auto* bytes : { &thousand, &oneShort })
    {
        const std::span<std::byte> file (*bytes);
        EXPECT_FALSE (vl::isRingFile (file));
        EXPECT_EQ (vl::stampRing (file), 0);
        EXPECT_FALSE (vl::isChannelStamped (file, 0));
        EXPECT_EQ (vl::readRingChannel (file, 0, left, right), 0u);
    }
    EXPECT_FALSE (vl::isRingFile ({}));

    // A mapping that is not 8-byte aligned cannot hold the atomic counters.
    std::vector<std::byte> larger (vl::ringFileBytes + 8);
    EXPECT_FALSE (vl::isRingFile (std::span<const std::byte> (larger).subspan (4, vl::ringFileBytes)));
    EXPECT_TRUE (vl::isRingFile (std::span<const std::byte> (larger).subspan (8, vl::ringFileBytes)));
}

TEST (RingLayout, StampingAZeroedFileGivesFourNeverWrittenChannels)
{
    std::vector<std::byte> file (vl::ringFileBytes);
    EXPECT_EQ (vl::stampRing (file), 4);
    for (int c = 0; c < vl::ringChannels; ++c)
    {
        // "RGLN" from the most significant byte is "NLGR" in file order, then version 1.
        const auto* header = file.data() + static_cast<std::size_t> (c) * vl::ringChannelBytes;
        EXPECT_EQ (std::memcmp (header, "NLGR\x01\0\0\0", 8), 0) << c;
        EXPECT_TRUE (vl::isChannelStamped (file, c));
        EXPECT_EQ (vl::ringFramesWritten (file, c), 0u);
        EXPECT_EQ (vl::ringLastWriteMs (file, c), 0);
    }
    EXPECT_EQ (vl::stampRing (file), 0); // idempotent
}

TEST (RingLayout, OnlyTheBlockWithAForeignMagicIsRestamped)
{
    auto file = stampedRing();
    for (int c = 0; c < vl::ringChannels; ++c)
    {
        store64 (file, c, vl::ringFramesWrittenOffset, 1000u + static_cast<unsigned> (c));
        store64 (file, c, vl::ringLastWriteOffset, 5000u + static_cast<unsigned> (c));
        file[static_cast<std::size_t> (c) * vl::ringChannelBytes + 30] = std::byte { 0x5a }; // reserved
    }
    store64 (file, 1, vl::ringMagicOffset, vl::ringMagic | (std::uint64_t { 7 } << 32)); // another version
    store64 (file, 2, vl::ringMagicOffset, 0x1122334455667788u);

    EXPECT_FALSE (vl::isChannelStamped (file, 2));
    EXPECT_EQ (vl::ringFramesWritten (file, 2), 0u); // a foreign block is not read
    EXPECT_EQ (vl::stampRing (file), 1);

    for (int c = 0; c < vl::ringChannels; ++c)
    {
        const bool restamped = c == 2;
        EXPECT_EQ (vl::ringFramesWritten (file, c), restamped ? 0u : 1000u + static_cast<unsigned> (c)) << c;
        EXPECT_EQ (vl::ringLastWriteMs (file, c), restamped ? 0 : 5000 + c) << c;
        EXPECT_EQ (file[static_cast<std::size_t> (c) * vl::ringChannelBytes + 30], std::byte { 0x5a }) << c;
    }
    EXPECT_EQ (load64 (file, 1, 0) >> 32, 7u); // a valid magic keeps whatever version it has
    EXPECT_EQ (load64 (file, 2, 0) >> 32, 1u);
}

TEST (RingLayout, LivenessIsAThreeSecondWindow)
{
    auto file = stampedRing();
    constexpr std::int64_t now = 1'700'000'000'000;
    EXPECT_FALSE (vl::isRingChannelLive (file, 0, now)); // never written

    struct Case
    {
        std::int64_t age;
        bool live;
    };
    for (auto [age, live] : { Case { 0, true }, Case { 2900, true }, Case { 2999, true }, Case { 3000, false },
                              Case { 60'000, false } })
    {
        store64 (file, 3, vl::ringLastWriteOffset, static_cast<std::uint64_t> (now - age));
        EXPECT_EQ (vl::isRingChannelLive (file, 3, now), live) << age << " ms old";
    }
    EXPECT_FALSE (vl::isRingChannelLive (file, 4, now)); // no fifth channel
}

class RingReader : public ::testing::Test
{
protected:
    std::vector<std::byte> file = stampedRing();
    std::vector<float> left = std::vector<float> (vl::ringReadFrames, -1.0f);
    std::vector<float> right = std::vector<float> (vl::ringReadFrames, -1.0f);

    // Every frame read, oldest first, must be the one with the next absolute index.
    void expectIndices (std::size_t n, std::uint64_t firstIndex)
    {
        for (std::size_t j = 0; j < n; ++j)
        {
            const auto expected = static_cast<float> (firstIndex + j);
            if (left[j] != expected || right[j] != -expected)
            {
                ADD_FAILURE() << "frame " << j << " holds " << left[j] << ", expected " << expected;
                return;
            }
        }
    }
};

TEST_F (RingReader, AWrappedChannelGivesTheNewest912000FramesInOrder)
{
    fillSlotsWithIndices (file, 1, 1'000'000);
    ASSERT_EQ (vl::readRingChannel (file, 1, left, right), 912'000u);
    expectIndices (912'000, 88'000); // slots 88,000 … 959,999 then 0 … 39,999
    EXPECT_EQ (left[871'999], 959'999.0f);
    EXPECT_EQ (left[872'000], 960'000.0f);
}

TEST_F (RingReader, AYoungChannelGivesAllItHas)
{
    fillSlotsWithIndices (file, 0, 500);
    ASSERT_EQ (vl::readRingChannel (file, 0, left, right), 500u);
    expectIndices (500, 0);
    EXPECT_EQ (vl::readRingChannel (file, 2, left, right), 0u); // nothing written there
}

TEST_F (RingReader, ShortBuffersTakeOnlyTheNewestFrames)
{
    fillSlotsWithIndices (file, 3, 2'000'000);
    ASSERT_EQ (vl::readRingChannel (file, 3, std::span (left).first (100), right), 100u);
    expectIndices (100, 1'999'900);
}

TEST_F (RingReader, AWriterThatWrapsRoundTripsThroughTheReader)
{
    vl::RingWriter writer (file, 2);
    ASSERT_TRUE (writer.isValid());

    // 1,000,000 frames in uneven blocks, as a host's block sizes would come.
    std::uint64_t index = 0;
    std::vector<float> l, r;
    for (std::size_t block = 1; index < 1'000'000; block = block * 7 % 30'011 + 1)
    {
        const auto n = std::min<std::uint64_t> (block, 1'000'000 - index);
        l.resize (n);
        r.resize (n);
        for (std::size_t j = 0; j < n; ++j, ++index)
        {
            l[j] = static_cast<float> (index);
            r[j] = -static_cast<float> (index);
        }
        writer.write (l, r, 1234);
    }

    EXPECT_EQ (vl::ringFramesWritten (file, 2), 1'000'000u);
    EXPECT_EQ (vl::ringLastWriteMs (file, 2), 1234);
    EXPECT_TRUE (vl::isRingChannelLive (file, 2, 1234 + 2000));
    ASSERT_EQ (vl::readRingChannel (file, 2, left, right), 912'000u);
    expectIndices (912'000, 88'000);
    for (int c : { 0, 1, 3 })
        EXPECT_EQ (vl::ringFramesWritten (file, c), 0u) << "the writer stays in its channel";

    // A second writer on the same channel carries on from the counter.
    vl::RingWriter restarted (file, 2);
    const float one[] = { 1'000'000.0f }, minusOne[] = { -1'000'000.0f };
    restarted.write (one, minusOne, 2000);
    ASSERT_EQ (vl::readRingChannel (file, 2, left, right), 912'000u);
    expectIndices (912'000, 88'001);
}

TEST (RingWriterSetup, WritesNothingWithoutAStampedChannel)
{
    std::vector<std::byte> unstamped (vl::ringFileBytes);
    const float frame[] = { 1.0f };
    for (int channel : { 0, 7 })
    {
        vl::RingWriter writer (unstamped, channel);
        EXPECT_FALSE (writer.isValid());
        writer.write (frame, frame, 99);
    }
    EXPECT_EQ (std::count (unstamped.begin(), unstamped.end(), std::byte { 0 }), static_cast<long> (vl::ringFileBytes));
}

// Whatever a damaged or hostile file holds, the reader stays inside the bytes and the buffers.
TEST (RingFuzz, AnyHeadersAndSizesAreReadSafely)
{
    std::mt19937_64 random (20240611);
    auto file = stampedRing();
    std::vector<float> left (4096), right (4096);

    for (int round = 0; round < 4000; ++round)
    {
        for (int c = 0; c < vl::ringChannels; ++c)
            for (std::size_t offset = 0; offset < vl::ringHeaderBytes; offset += 8)
                store64 (file, c, offset, random());
        if (round % 2 == 0) // half of the blocks keep a valid magic so the counters are used
            store64 (file, static_cast<int> (random() % 4), 0, vl::ringMagic | (random() << 32));

        const auto size = round % 5 == 0 ? random() % (vl::ringFileBytes + 64) : vl::ringFileBytes;
        const std::span<const std::byte> bytes (file.data(), std::min<std::size_t> (size, file.size()));
        const int channel = static_cast<int> (random() % 6) - 1;
        const auto n = random() % (left.size() + 1);

        const auto read = vl::readRingChannel (bytes, channel, std::span (left).first (n), std::span (right).first (n));
        ASSERT_LE (read, n);
        (void) vl::isRingChannelLive (bytes, channel, static_cast<std::int64_t> (random()));
    }
}

// A private home folder per test, removed afterwards.
class RingFile : public ::testing::Test
{
protected:
    fs::path home = fs::temp_directory_path() / ("virl-ring-" + std::to_string (::getpid()) + "-"
                                                  + ::testing::UnitTest::GetInstance()->current_test_info()->name());

    void SetUp() override { fs::create_directories (home); }
    void TearDown() override { fs::remove_all (home); }

    void writeUserDirs (const std::string& text)
    {
        fs::create_directories (home / ".config");
        std::ofstream (home / ".config" / "user-dirs.dirs") << text;
    }
};

TEST_F (RingFile, PathIsBelowTheConfigFolder)
{
    EXPECT_EQ (vl::ringFilePath (home), home / ".config/Trevlor/Ringlan/ringlan.ring");

    writeUserDirs ("XDG_MUSIC_DIR=\"$HOME/Music\"\nXDG_CONFIG_HOME=\"$HOME/nowhere\"\n");
    EXPECT_EQ (vl::ringFilePath (home), home / ".config/Trevlor/Ringlan/ringlan.ring") << "a missing folder is ignored";

    fs::create_directories (home / "cfg");
    writeUserDirs ("# comment\n  XDG_CONFIG_HOME = \"$HOME/cfg\"  \n");
    EXPECT_EQ (vl::ringFilePath (home), home / "cfg/Trevlor/Ringlan/ringlan.ring");
}

TEST_F (RingFile, AMissingOrWrongSizedFileBecomesAZeroedFullOne)
{
    const auto path = vl::ringFilePath (home);
    for (std::size_t oldSize : { std::size_t { 0 }, std::size_t { 1000 } })
    {
        if (oldSize > 0)
            std::ofstream (path, std::ios::binary) << std::string (oldSize, 'x');
        ASSERT_TRUE (vl::prepareRingFile (path)) << oldSize;
        const auto bytes = readWhole (path);
        ASSERT_EQ (bytes.size(), vl::ringFileBytes);
        EXPECT_EQ (std::count (bytes.begin(), bytes.end(), std::byte { 0 }), static_cast<long> (vl::ringFileBytes));
        fs::remove (path);
    }
    EXPECT_EQ (std::distance (fs::directory_iterator (path.parent_path()), {}), 0) << "no temporary file is left";
}

TEST_F (RingFile, AFullSizedFileIsKeptAsItIs)
{
    const auto path = vl::ringFilePath (home);
    ASSERT_TRUE (vl::prepareRingFile (path));
    {
        std::fstream f (path, std::ios::binary | std::ios::in | std::ios::out);
        f.seekp (12345);
        f.put ('q');
    }
    ASSERT_TRUE (vl::prepareRingFile (path));
    EXPECT_EQ (readWhole (path)[12345], std::byte { 'q' });
}

TEST_F (RingFile, AnUnwritableFolderGivesNoFile)
{
    const auto blocked = home / "blocked";
    std::ofstream (blocked) << "a file where the folder should be";
    EXPECT_FALSE (vl::prepareRingFile (blocked / "ringlan.ring"));
}

} // namespace
