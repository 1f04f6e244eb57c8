// Hand-written rhythms per role, the cycle lengths of generated rhythms and the density each
// role aims for.
#pragma once

#include "family/Random.h"
#include "family/Role.h"

#include <span>

namespace gv
{

// '.' rest, 'x' hit, 'X' accented hit, 'g' ghost hit; the text's length is the cycle length.
struct LibPattern
{
    const char* text;
    float density; // share of on steps, matched against the wanted density
};

// The library of a role (KICK has one entry). Constant data: safe from any thread and
// never allocates.
std::span<const LibPattern> libraryFor (Role role);

// Number of steps of a library entry.
int textLength (const LibPattern& entry);

// The entry whose density is nearest the wanted one, with one noise draw per entry in
// order so that entries of nearly equal density take turns (first one on ties); nullptr for
// an empty library.
const LibPattern* pickNearest (Role role, float wanted, Rng& rng);

// A cycle length for a generated rhythm of the role; draws from rng only for the roles
// that have a choice (KLICK, RÖST, TON, SPÖKE, LUFT).
int goodCycle (Role role, Rng& rng);

// Share of on steps the role aims for at density tathet (0..1); 0.25 for KICK.
float wantedDensity (Role role, float tathet);

} // namespace gv
