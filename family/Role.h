// The eight lane roles of the family's grooves, in lane order.
#pragma once

namespace gv
{

enum class Role : int
{
    kick = 0,
    bas,
    klick,
    tick,
    rost,
    ton,
    luft,
    spoke
};

constexpr int numRoles = 8;

} // namespace gv
