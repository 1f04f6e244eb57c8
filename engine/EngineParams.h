// The per-block parameter snapshot the engine reads, and the tables that turn choices into engine values.
#pragma once

#include <array>

namespace vl
{

constexpr std::array<const char*, 8> laneName { "KICK", "BAS", "KLICK", "TICK", "RÖST", "TON", "LUFT", "SPÖKE" };

constexpr std::array<int, 4> bageMinutes { 6, 10, 20, 45 };
constexpr std::array<int, 4> ettanBars { 4, 8, 16, 0 }; // 0 = AV: the lanes never return to the one
constexpr std::array<int, 4> radioBars { 4, 8, 16, 32 };
constexpr std::array<int, 3> guldMinutes { 5, 10, 20 };

struct LaneParams
{
    float niva = 0.0f;
    float drift = 0.0f;
    float tathet = 0.5f;
    float farg = 0.0f;
    bool frys = false;
    bool tyst = false;
    int steg = 0;       // 0 = AUTO
    float ton = 0.0f;   // semitones
    float langd = 1.0f;
    float bakl = 0.0f;
    float pan = 0.0f;
    int alder = -1;     // -1 follows the global alder
    int lada = -1;      // -1 plays the lane's own box
};

struct EngineParams
{
    int tonart = 9;
    int skala = 0;
    int dna = 3;
    float svang = 0.7f;
    float bage = 0.0f;  // at or below 0.001 the arc is off
    int bageMinutes = 10;
    int ettanBars = 8;
    int alder = 1;
    float skiva = 0.15f;
    float band = 0.25f;
    float glid = 0.35f;
    float utGain = 1.0f;
    bool foljMidi = true;
    float kTon = 50.0f;
    float kLangd = 0.32f;
    float kKlick = 0.35f;
    float kDriv = 0.3f;
    std::array<LaneParams, 8> lanes {};
};

} // namespace vl
