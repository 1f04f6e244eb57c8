// The family's integer mixer and random source: every composing decision is drawn from these,
// so they must give the same numbers on every machine (unsigned 32-bit wrap throughout).
#pragma once

#include <cstdint>

namespace gv
{

// The published 32-bit integer hash "lowbias32".
constexpr std::uint32_t lowbias32 (std::uint32_t x)
{
    x ^= x >> 16;
    x *= 0x7feb352du;
    x ^= x >> 15;
    x *= 0x846ca68bu;
    x ^= x >> 16;
    return x;
}

// Mixes two integers into one; the second is hashed first so that small neighbouring
// values (lanes, bars) land far apart.
constexpr std::uint32_t hashMix (std::uint32_t a, std::uint32_t b)
{
    return lowbias32 ((a * 0x9e3779b9u) ^ lowbias32 (b + 0x632be59bu));
}

// hashMix with its second argument already mixed into the salt k.
constexpr std::uint32_t saltMix (std::uint32_t x, std::uint32_t k)
{
    return lowbias32 ((x * 0x9e3779b9u) ^ k);
}

// A hash turned into [0, 1) with the same 24-bit conversion as Rng::uniform.
constexpr float unit (std::uint32_t h)
{
    return static_cast<float> (h >> 8) * (1.0f / 16777216.0f);
}

// xorshift32 (shifts 13, 17, 5). The seed is hashed and its low bit set, so the state is
// never 0 and next() never returns 0.
struct Rng
{
    std::uint32_t state;

    explicit constexpr Rng (std::uint32_t seed) : state (lowbias32 (seed ^ 0xa511e9b3u) | 1u) {}

    constexpr std::uint32_t next()
    {
        auto x = state;
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        state = x;
        return x;
    }

    constexpr float uniform() { return unit (next()); }

    // Always consumes one draw, so a degenerate n cannot shift later draws.
    constexpr int below (int n)
    {
        const auto x = next();
        return n > 0 ? static_cast<int> (x % static_cast<std::uint32_t> (n)) : 0;
    }

    constexpr bool chance (float p) { return uniform() < p; }
};

// The seed of lane `lane` under the variant's global seed.
std::uint32_t laneSeed (std::uint32_t globalSeed, int lane);

// Per-bar and per-sixteenth hashes; 64-bit positions enter by their low 32 bits.
std::uint32_t barHash (std::int64_t bar);
std::uint32_t sixteenthHash (std::int64_t sixteenth);

// The draws that decide whether, and how, lane `lane` mutates at bar `bar`. The same
// lane seed, bar and lane always give the same draws, which is what lets a transport jump
// replay the mutations exactly.
Rng mutationDrawSource (std::uint32_t laneSeed, std::int64_t bar, int lane);

} // namespace gv
