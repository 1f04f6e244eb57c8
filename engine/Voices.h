// Everything that sounds: the kick, the bass, six voices per chip lane and the eight lane channels.
#pragma once

#include "engine/BassSynth.h"
#include "engine/ChipVoice.h"
#include "engine/EngineParams.h"
#include "engine/Hit.h"
#include "engine/KickSynth.h"
#include "engine/LaneChannels.h"
#include "patterns/Pattern.h"

#include <array>

namespace gv
{
class GuldRecorder;
}

namespace vl
{

struct Bank;

constexpr int firstChipLane = Lane::klick;
constexpr int numChipLanes = numLanes - firstChipLane;
constexpr int voicesPerLane = 6;

// The MIDI note each lane's hits are logged at (General MIDI drums where one fits; the bass
// and TON log their played pitch, RÖST and SPÖKE middle C plus their transposition).
constexpr std::array<int, numLanes> laneNote { 36, 33, 37, 42, 60, 60, 46, 50 };

// The key hits are played in: the lowest held MIDI note's pitch class when the lanes follow
// MIDI and a note is held, otherwise `tonart`.
int playingKey (const EngineParams& p, int midiNote) noexcept;

struct Voices
{
    KickSynth kick;
    BassSynth bass;
    std::array<std::array<ChipVoice, voicesPerLane>, numChipLanes> chipVoices {};
    LaneChannels channels;
    std::array<bool, numChipLanes> startedThisChunk {}; // keeps a lane awake for a voice shorter than a chunk
    double sampleRate = 48000.0;

    // Message thread, audio stopped: every voice silent, every channel cleared, coefficients for the rate.
    void prepare (double rate);

    // Audio thread: turns one due hit into sound and logs it into recorder (may be null). bank may
    // be null (no chip lane plays then); midiNote is the lowest held note or -1. Returns false
    // when the hit started nothing (no bank, an empty box, an empty chip slot).
    bool fire (const Hit& hit, const EngineParams& p, const Bank* bank, int midiNote, gv::GuldRecorder* recorder) noexcept;

    // Audio thread: adds the voices' samples from..to (within one chunk) into the lane buses
    // (busLeft[lane], busRight[lane], eight of each). bassBendTarget: semitones, this bar's bend.
    void render (const EngineParams& p, float bassBendTarget, float* const* busLeft, float* const* busRight, int from,
                 int to) noexcept;

    // Audio thread, once per chunk after render: each lane's colour (chip lanes), level and shown
    // gate, in place on the buses. fargShift: the current patterns' colour offsets; laneGate the
    // gates of this bar, laneGateShown their smoothed values (updated); meters receives each
    // lane's peak level of the chunk.
    void processLanes (const EngineParams& p, const float* fargShift, float arcLevel, const float* laneGate,
                       float* laneGateShown, float samplesPerSixteenth, float* meters, float* const* busLeft,
                       float* const* busRight, int n) noexcept;

    // Audio thread: the transport stopped; the bass note releases.
    void releaseBass() noexcept { bass.release(); }

    // Audio thread: true while any voice of the chip lane plays.
    bool laneSounding (int lane) const noexcept;

private:
    bool fireChip (const Hit& hit, const EngineParams& p, const Bank& bank, int key, int velocity,
                   gv::GuldRecorder* recorder) noexcept;
};

} // namespace vl
