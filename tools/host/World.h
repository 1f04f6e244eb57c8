// The lilv world: finds LV2 bundles and describes a plug-in's ports and parameters.
#pragma once

#include "host/UridMap.h"

#include <lilv/lilv.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vh
{

enum class PortType { audio, control, atom, cv, unknown };

/** One port as the plug-in's Turtle declares it. */
struct PortInfo
{
    uint32_t index = 0;
    std::string symbol, name;
    PortType type = PortType::unknown;
    bool isInput = false;
    bool isOptional = false;     // lv2:connectionOptional
    bool reportsLatency = false; // lv2:reportsLatency or designation lv2:latency
    std::string designation;     // full URI, empty when none
    uint32_t minimumSize = 0;    // rsz:minimumSize of an atom port, 0 when not given
    bool supportsMidi = false, supportsTime = false, supportsPatch = false;
    float defaultValue = 0.0f, minimum = 0.0f, maximum = 0.0f; // control ports
};

struct ScalePoint
{
    float value = 0.0f;
    std::string label;
};

/** A parameter published as lv2:Parameter under patch:writable. */
struct ParameterInfo
{
    int index = -1;  // position in the plug-in's patch:writable list (JUCE's parameter index), -1 if unknown
    std::string uri; // what patch:property carries
    std::string id;  // the URI after "<plug-in URI>:" (JUCE's parameter ID), else the whole URI
    std::string label;
    float minimum = 0.0f, maximum = 1.0f, defaultValue = 0.0f;
    bool enumeration = false, toggled = false;
    std::vector<ScalePoint> scalePoints; // in ascending value order
};

struct PluginDescription
{
    std::string uri, name, bundleUri;
    std::vector<std::string> types; // every rdf:type of the plug-in
    bool isInstrument = false;      // a lv2:InstrumentPlugin
    std::vector<std::string> requiredFeatures, optionalFeatures, extensionData;
    std::vector<PortInfo> ports;          // in port index order
    std::vector<ParameterInfo> parameters; // in index order when the order is known
    std::vector<std::string> dataFiles;   // local paths of the bundle's Turtle files for this plug-in

    int countPorts (PortType type, bool isInput) const;
    const PortInfo* latencyPort() const;
    /** The atom input that carries MIDI, time and patch events (lv2:control designation preferred). */
    const PortInfo* eventInput() const;
    /** Looks a parameter up by its id or its full URI; nullptr when there is none. */
    const ParameterInfo* findParameter (const std::string& idOrUri) const;
};

/** Owns the lilv world and the URID table that every instance of it shares.
    One thread: the one that created it. */
class World
{
public:
    World();
    ~World();
    World (const World&) = delete;
    World& operator= (const World&) = delete;

    /** Loads every bundle on LV2_PATH (lilv's default path when unset), or, when bundleDir is not
        empty, that bundle only, so an installed copy of the same plug-in cannot shadow it.
        False with a message on failure. */
    bool load (const std::string& bundleDir, std::string& error);

    std::vector<std::string> pluginUris() const;
    const LilvPlugin* findPlugin (const std::string& uri) const;
    std::optional<PluginDescription> describe (const std::string& uri, std::string& error) const;

    LilvWorld* lilv() const { return world; }
    UridMap& urids() { return uridMap; }

private:
    LilvWorld* world = nullptr;
    UridMap uridMap;
};

/** The objects of (subject, patch:writable, ?) in the order they appear in the given Turtle files.
    Lilv returns them sorted by URI; JUCE numbers its parameters in file order. */
std::vector<std::string> readWritableOrder (const std::vector<std::string>& turtleFiles, const std::string& subjectUri);

} // namespace vh
