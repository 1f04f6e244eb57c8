// How chips cut from a user's file join a bank: they replace up to a quarter of a box, then grow
// it, and push factory material out once a file brings enough of its own.
#pragma once

#include "family/Random.h"
#include "material/Virl.h"

#include <memory>
#include <string>
#include <vector>

namespace vl
{

constexpr int importMaxChips = 120;
constexpr float importMaxSeconds = 240.0f;
constexpr int importMinFrames = 256;      // a file of 255 frames or fewer is ignored
constexpr size_t boxGrowthLimit = 400;    // a full box only swaps chips
constexpr int factoryTakeoverChips = 6;   // a file with this many chips for a box replaces its factory material

// Merges chips into boxes 0..4 of bank (a fresh derivation the caller owns); box 5 stays.
void mergeImported (Bank& bank, const std::vector<std::shared_ptr<const Virl>>& chips, gv::Rng& rng);

// "Dub Chord" for ".../Dub Chord.wav"; a name whose only dot starts it is kept whole.
std::string sourceNameOf (const std::string& path);

} // namespace vl
