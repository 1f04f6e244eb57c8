// The master chain: kick duck and lane sum, SKIVA, BAND, mono bass, UT and the ceiling, then
// the host buffer and the GULD recorder.
#pragma once

#include "engine/Band.h"
#include "engine/Ceiling.h"
#include "engine/EngineParams.h"
#include "engine/Skiva.h"
#include "engine/StateVariable.h"

#include <array>

namespace gv
{
class GuldRecorder;
}

namespace vl
{

// Kick-driven duck and lane sum: a fast-attack, slow-release follower of the kick's left bus
// pulls the bass down to 0.2 and the chip lanes to 0.78 at full depth.
class Duck
{
public:
    // Lane order of the buses: KICK keys the duck, BAS is ducked hard, the six chip lanes lightly.
    static constexpr int laneCount = 8;
    static constexpr int kickLane = 0;
    static constexpr int bassLane = 1;
    static constexpr int firstChipLane = 2;

    // Message thread, audio stopped.
    void prepare (double sampleRate);

    // Audio thread. Sums the eight buses into left and right. Bus samples that are not finite
    // count as silence and the sums are held within ±busLimit, so nothing downstream can overflow.
    void process (const float* const* laneLeft, const float* const* laneRight, float* left, float* right, int n);

    // 1000 = +60 dBFS: far beyond anything the lanes make, low enough that no filter can overflow.
    static constexpr float busLimit = 1000.0f;

private:
    float level = 0.0f;
    float attack = 0.0f;
    float release = 0.0f;
};

// Everything below 120 Hz mono: a fourth-order split per side, the low parts averaged.
class MonoBass
{
public:
    // Message thread, audio stopped.
    void prepare (double sampleRate);

    // Audio thread, in place. High part per side plus the sides' shared low part: the sum of the
    // two fourth-order halves is flat in level, so only the stereo image below 120 Hz changes.
    void process (float* left, float* right, int n);

private:
    struct State
    {
        float s1 = 0.0f, s2 = 0.0f;
    };

    // 120 Hz, k = √2 (Butterworth): two in series make a Linkwitz-Riley pair.
    SvfCoefficients crossover;
    State firstLeft, firstRight; // one filter gives both the first low-pass and the first high-pass
    State highLeft, highRight;   // second high-pass
    State lowLeft, lowRight;     // second low-pass
};

class MasterChain
{
public:
    // Output delay relative to the lanes, from the ceiling's look-ahead.
    static constexpr int latency = Ceiling::lookAhead;

    // Message thread, audio stopped. Sets every coefficient for the rate and resets all state.
    void prepare (double sampleRate);

    // Audio thread. Mixes the eight lane buses (lane order KICK, BAS, KLICK..SPÖKE; n samples
    // each) into n output frames, runs the chain and hands each frame to the recorder (may be
    // null) while playing or while the frame is not silent. Any n ≥ 0; the outputs must not
    // alias the buses. Reads skiva, band and utGain from p. Whatever the buses hold, every
    // output sample is finite and within ±Ceiling::ceiling.
    void process (const EngineParams& p, const float* const* laneLeft, const float* const* laneRight,
                  float* outLeft, float* outRight, int n, gv::GuldRecorder* recorder, bool playing);

private:
    bool prepared = false;
    Duck duck;
    Skiva skiva;
    Band band;
    MonoBass monoBass;
    Ceiling ceiling;
};

} // namespace vl
