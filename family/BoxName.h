// The names of the five material boxes, shared by every instrument of the family that sorts chips.
#pragma once

namespace gv
{

// "KLICK", "TICK", "RÖST", "TON", "BRUS" for boxes 0..4; "" for any other index (the ghost
// box has no family name, the boxes panel calls it "SPÖKE"). Swedish: callers translate.
constexpr const char* boxName (int box)
{
    constexpr const char* names[] = { "KLICK", "TICK", "RÖST", "TON", "BRUS" };
    return box >= 0 && box < 5 ? names[box] : "";
}

} // namespace gv
