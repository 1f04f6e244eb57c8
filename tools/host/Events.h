// What the host sends to the plug-in in one block, and what it sends back.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vh
{

/** A time:Position object. Bars and beats count from 0, as in LV2. */
struct Position
{
    int64_t frame = 0;
    float speed = 1.0f; // 0 = stopped, 1 = playing
    int64_t bar = 0;
    double barBeat = 0.0;
    int beatUnit = 4;
    float beatsPerBar = 4.0f;
    double beatsPerMinute = 120.0;
    std::optional<double> beat; // time:beat (beats since the start); jalv leaves it out
};

struct MidiEvent
{
    uint32_t frame = 0;
    std::vector<uint8_t> bytes; // one complete message; sysex included
};

/** A patch:Set of one parameter: patch:property is the parameter's URI, patch:value a float. */
struct ParameterSet
{
    uint32_t frame = 0;
    std::string uri;
    float value = 0.0f;
};

struct BlockEvents
{
    std::optional<Position> position; // sent at frame 0, before everything else
    std::vector<ParameterSet> parameters;
    std::vector<MidiEvent> midi;
};

/** What the plug-in wrote to its atom output during the last block. */
struct OutputEvents
{
    std::vector<ParameterSet> parameters;
    std::vector<MidiEvent> midi;
    int stateChanged = 0; // state:StateChanged notifications
};

} // namespace vh
