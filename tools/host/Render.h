// A render: a host transport, block sizes and timed events played through an instance.
#pragma once

#include "host/Instance.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace vh
{

/** How the host tells the plug-in where the transport is. */
enum class PositionStyle
{
    everyBlock,        // a time:Position with time:beat at the start of every block
    onChange,          // with time:beat, only at the start and after a stop, start, jump or tempo change
    everyBlockNoBeat,  // every block, without time:beat
    onChangeNoBeat,    // only on change and without time:beat: what jalv sends
    none               // no time:Position at all
};

struct BlockSizes
{
    enum class Mode { fixed, list, random };
    Mode mode = Mode::fixed;
    uint32_t size = 512;            // fixed
    std::vector<uint32_t> list;     // list: used in turn, repeating
    uint32_t minimum = 1, maximum = 4096; // random: uniform in minimum..maximum
    uint32_t seed = 1;

    /** The longest block this schedule can ask for (at least 1). */
    uint32_t longest() const;
};

struct TransportChange
{
    enum class Kind { stop, play, jump, tempo };
    int64_t frame = 0;
    Kind kind = Kind::stop;
    double value = 0.0; // jump: the position in bars (fractional bars allowed); tempo: BPM
};

struct TimedMidi
{
    int64_t frame = 0;
    std::vector<uint8_t> bytes;
};

struct TimedParameter
{
    int64_t frame = 0;
    std::string uri;
    float value = 0.0f;
};

struct RenderPlan
{
    int64_t frames = 0;
    double tempo = 120.0;
    double startBar = 0.0; // bars from 0; a fraction is a position inside the bar
    int beatsPerBar = 4;
    int beatUnit = 4;
    bool playing = true;
    PositionStyle style = PositionStyle::everyBlock;
    BlockSizes blocks;
    std::vector<TransportChange> changes;
    std::vector<TimedMidi> midi;
    std::vector<TimedParameter> parameters;
};

/** Receives each block's audio: `channels` pointers to `frames` samples. */
using AudioSink = std::function<void (const float* const* channels, int numChannels, uint32_t frames)>;
/** Called after each block with the frames done so far. */
using Progress = std::function<void (int64_t done)>;

/** Plays the plan through the instance, block by block. Blocks are cut at transport changes and
    parameter changes so that each takes effect at its exact frame (JUCE applies a patch:Set for the
    whole block). False with a message when the instance refuses a block. */
bool render (Instance& instance, const RenderPlan& plan, const AudioSink& sink, const Progress& progress,
             std::string& error);

} // namespace vh
