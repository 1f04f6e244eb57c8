// Golden snapshots of generation and mutation: any change to a draw, a constant or an order
// shows up here. When a change is intended, run with VIRL_PRINT_GOLDEN=1 and paste the
// printed values.
#include "family/Random.h"
#include "patterns/Generate.h"
#include "patterns/Mutate.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{

// FNV-1a over the raw bytes; a Pattern has no padding (8-byte steps, 264 bytes in all).
struct Fingerprint
{
    std::uint32_t value = 0x811c9dc5u;

    void add (const void* data, std::size_t size)
    {
        const auto* bytes = static_cast<const unsigned char*> (data);
        for (std::size_t i = 0; i < size; ++i)
            value = (value ^ bytes[i]) * 0x01000193u;
    }
    void add (const vl::Pattern& pattern) { add (&pattern, sizeof pattern); }
};

bool printGolden()
{
    const char* flag = std::getenv ("VIRL_PRINT_GOLDEN");
    return flag != nullptr && std::strcmp (flag, "1") == 0;
}

void check (const char* name, const std::uint32_t (&expected)[vl::numLanes], const std::uint32_t (&actual)[vl::numLanes])
{
    if (printGolden())
    {
        std::printf ("%s = {", name);
        for (auto v : actual)
            std::printf (" 0x%08xu,", v);
        std::printf (" }\n");
        return;
    }
    for (int lane = 0; lane < vl::numLanes; ++lane)
        EXPECT_EQ (actual[lane], expected[lane]) << name << " lane " << lane;
}

vl::LaneGen gridGen (float tathet, int steg, float bakl)
{
    vl::LaneGen gen;
    gen.tathet = tathet;
    gen.steg = steg;
    gen.bakl = bakl;
    return gen;
}

TEST (PatternGolden, Generate)
{
    std::uint32_t actual[vl::numLanes];
    for (int lane = 0; lane < vl::numLanes; ++lane)
    {
        Fingerprint print;
        for (float tathet : { 0.0f, 0.35f, 0.5f, 1.0f })
            for (int steg : { 0, -1, 3, 7, 16, 32 })
                for (float bakl : { 0.0f, 0.6f })
                    for (std::uint32_t i = 0; i < 16; ++i)
                        print.add (vl::generate (lane, gridGen (tathet, steg, bakl), gv::hashMix (0x5eed, i)));
        actual[lane] = print.value;
    }

    const std::uint32_t expected[vl::numLanes] = { 0x1ddc9dc5u, 0xd1104c85u, 0x5e8a438au, 0xad9beff5u,
                                                   0x6a331cb5u, 0xf4b99296u, 0x40082eeau, 0xbe1de601u };
    check ("generate", expected, actual);
}

// Bar-by-bar mutation as the engine replays it: every bar draws from the lane's mutation
// source, so this pins the operation weights, every draw and the memory ring.
TEST (PatternGolden, MutationChain)
{
    std::uint32_t actual[vl::numLanes];
    for (int lane = 0; lane < vl::numLanes; ++lane)
    {
        Fingerprint print;
        for (std::uint32_t variant = 0; variant < 4; ++variant)
        {
            const auto seed = gv::laneSeed (gv::hashMix (0xc0de, variant), lane);
            const auto gen = gridGen (0.25f * static_cast<float> (variant), variant == 3 ? 12 : 0, 0.2f);
            auto pattern = vl::generate (lane, gen, seed);
            vl::LaneMemory memory;
            for (std::int64_t bar = 1; bar <= 256; ++bar)
            {
                auto rng = gv::mutationDrawSource (seed, bar, lane);
                vl::mutate (lane, pattern, memory, gen, rng);
                print.add (pattern);
                print.add (&memory.head, sizeof memory.head);
            }
        }
        actual[lane] = print.value;
    }

    const std::uint32_t expected[vl::numLanes] = { 0x589e1dc5u, 0x0c8bb337u, 0x5974bb52u, 0xcf0d463au,
                                                   0xeed457f2u, 0x45217d01u, 0x35a75774u, 0xafafe5f6u };
    check ("mutationChain", expected, actual);
}

} // namespace
