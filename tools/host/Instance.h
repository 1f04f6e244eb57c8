// One running instance of an LV2 plug-in: ports, features, blocks and state.
#pragma once

#include "host/Events.h"
#include "host/World.h"

#include <lv2/atom/forge.h>
#include <lv2/options/options.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vh
{

struct InstanceOptions
{
    double sampleRate = 48000.0;
    uint32_t maxBlockLength = 4096;     // no run is longer (bufsz:boundedBlockLength)
    uint32_t minBlockLength = 0;
    uint32_t nominalBlockLength = 512;
    uint32_t atomCapacity = 1u << 16;   // bytes per atom port; raised to the plug-in's rsz:minimumSize
    bool activate = true;               // false: the caller restores a state first, then calls activate(), as DAWs do
};

/** An instantiated, activated plug-in with every port connected to host buffers.
    One thread: the one that created it runs, saves and restores it. */
class Instance
{
public:
    /** Null with a message when the plug-in is missing, needs a feature the host lacks, or fails to start. */
    static std::unique_ptr<Instance> create (World& world, const std::string& pluginUri,
                                             const InstanceOptions& options, std::string& error);
    ~Instance();
    Instance (const Instance&) = delete;
    Instance& operator= (const Instance&) = delete;

    /** Activates an instance created with options.activate = false; does nothing when active. */
    void activate();

    const PluginDescription& description() const { return desc; }
    const InstanceOptions& options() const { return opts; }

    /** Runs one block of `frames` (at most maxBlockLength, 0 allowed). Events are sorted by frame;
        an event at or past the block's end lands on its last frame. False with a message on misuse. */
    bool run (uint32_t frames, const BlockEvents& events, std::string& error);

    int numOutputs() const { return (int) audioOutputs.size(); }
    /** The last block's samples of audio output `channel`. */
    const float* output (int channel) const;
    /** The value the plug-in last wrote to its latency port; nullopt without one. */
    std::optional<float> latency() const;
    /** The value of any control port by symbol; nullopt when there is none. */
    std::optional<float> control (const std::string& symbol) const;
    const OutputEvents& outputEvents() const { return outEvents; }

    /** The plug-in's state as Turtle text (lilv_state_to_string); nullopt with a message on failure. */
    std::optional<std::string> saveState (std::string& error);
    /** Restores a state made by saveState, for this plug-in only. */
    bool restoreState (const std::string& turtle, std::string& error);

private:
    Instance (World& world, const LilvPlugin* plugin, PluginDescription desc, const InstanceOptions& options);
    bool start (std::string& error);
    bool writeEvents (uint32_t frames, const BlockEvents& events);
    void readOutputEvents();

    World& world;
    const LilvPlugin* plugin;
    PluginDescription desc;
    InstanceOptions opts;
    LilvInstance* instance = nullptr;
    bool active = false;

    int32_t maxLength = 0, minLength = 0, nominalLength = 0, sequenceSize = 0;
    float rate = 0.0f;
    std::vector<LV2_Options_Option> optionList;
    std::vector<LV2_Feature> featureStore;
    std::vector<const LV2_Feature*> features;

    std::vector<float> controls;                       // one per port; only control ports use theirs
    std::vector<std::vector<float>> audioBuffers;      // one per port; audio and CV ports
    std::vector<std::vector<uint64_t>> atomBuffers;    // one per port; 64-bit words keep atoms aligned
    std::vector<uint32_t> audioOutputs;                // port indices in output order
    int eventInput = -1;                               // port index of the event input
    std::vector<uint32_t> atomOutputs;

    LV2_Atom_Forge forge {};
    OutputEvents outEvents;

    struct Ids;
    std::unique_ptr<Ids> ids;
};

} // namespace vh
