// The lilv world: finds LV2 bundles and describes a plug-in's ports and parameters.
#include "host/World.h"

#include <lv2/atom/atom.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/patch/patch.h>
#include <lv2/port-props/port-props.h>
#include <lv2/resize-port/resize-port.h>
#include <lv2/time/time.h>

#include <algorithm>
#include <filesystem>
#include <memory>

namespace vh
{
namespace
{

constexpr const char* rdfsLabel = "http://www.w3.org/2000/01/rdf-schema#label";
constexpr const char* rdfType = "http://www.w3.org/1999/02/22-rdf-syntax-ns#type";
constexpr const char* rdfValue = "http://www.w3.org/1999/02/22-rdf-syntax-ns#value";

struct NodeDeleter
{
    void operator() (LilvNode* node) const { lilv_node_free (node); }
};
using Node = std::unique_ptr<LilvNode, NodeDeleter>;

struct NodesDeleter
{
    void operator() (LilvNodes* nodes) const { lilv_nodes_free (nodes); }
};
using Nodes = std::unique_ptr<LilvNodes, NodesDeleter>;

Node uri (LilvWorld* world, const char* text) { return Node (lilv_new_uri (world, text)); }

std::string text (const LilvNode* node)
{
    if (node == nullptr)
        return {};
    const char* s = lilv_node_as_string (node);
    return s == nullptr ? std::string() : std::string (s);
}

float number (const LilvNode* node, float fallback)
{
    if (node != nullptr && (lilv_node_is_float (node) || lilv_node_is_int (node)))
        return lilv_node_as_float (node);
    return fallback;
}

std::vector<std::string> texts (const LilvNodes* nodes)
{
    std::vector<std::string> result;
    LILV_FOREACH (nodes, i, nodes)
        result.push_back (text (lilv_nodes_get (nodes, i)));
    return result;
}

/** The first object of (subject, predicate, ?) or null. */
Node objectOf (LilvWorld* world, const LilvNode* subject, const char* predicate)
{
    const auto p = uri (world, predicate);
    return Node (lilv_world_get (world, subject, p.get(), nullptr));
}

PortInfo describePort (LilvWorld* world, const LilvPlugin* plugin, uint32_t index)
{
    const LilvPort* port = lilv_plugin_get_port_by_index (plugin, index);
    PortInfo info;
    info.index = index;
    info.symbol = text (lilv_port_get_symbol (plugin, port));
    const Node name (lilv_port_get_name (plugin, port));
    info.name = text (name.get());

    const auto is = [&] (const char* cls)
    {
        const auto c = uri (world, cls);
        return lilv_port_is_a (plugin, port, c.get());
    };
    const auto has = [&] (const char* property)
    {
        const auto p = uri (world, property);
        return lilv_port_has_property (plugin, port, p.get());
    };
    const auto supports = [&] (const char* eventType)
    {
        const auto e = uri (world, eventType);
        return lilv_port_supports_event (plugin, port, e.get());
    };

    info.isInput = is (LV2_CORE__InputPort);
    if (is (LV2_CORE__AudioPort))
        info.type = PortType::audio;
    else if (is (LV2_CORE__ControlPort))
        info.type = PortType::control;
    else if (is (LV2_ATOM__AtomPort))
        info.type = PortType::atom;
    else if (is (LV2_CORE__CVPort))
        info.type = PortType::cv;

    info.isOptional = has (LV2_CORE__connectionOptional);
    {
        const auto p = uri (world, LV2_CORE__designation);
        const Node designation (lilv_port_get (plugin, port, p.get()));
        info.designation = text (designation.get());
    }
    info.reportsLatency = has (LV2_CORE__reportsLatency) || info.designation == LV2_CORE__latency;
    {
        const auto p = uri (world, LV2_RESIZE_PORT__minimumSize);
        const Node size (lilv_port_get (plugin, port, p.get()));
        info.minimumSize = (uint32_t) std::max (0, size != nullptr && lilv_node_is_int (size.get()) ? lilv_node_as_int (size.get()) : 0);
    }
    if (info.type == PortType::atom)
    {
        info.supportsMidi = supports (LV2_MIDI__MidiEvent);
        info.supportsTime = supports (LV2_TIME__Position);
        info.supportsPatch = supports (LV2_PATCH__Message);
    }
    if (info.type == PortType::control)
    {
        LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
        lilv_port_get_range (plugin, port, &def, &min, &max);
        info.defaultValue = number (def, 0.0f);
        info.minimum = number (min, 0.0f);
        info.maximum = number (max, 1.0f);
        lilv_node_free (def);
        lilv_node_free (min);
        lilv_node_free (max);
    }
    return info;
}

ParameterInfo describeParameter (LilvWorld* world, const std::string& pluginUri, const std::string& parameterUri)
{
    ParameterInfo info;
    info.uri = parameterUri;
    const auto prefix = pluginUri + ":";
    info.id = parameterUri.rfind (prefix, 0) == 0 ? parameterUri.substr (prefix.size()) : parameterUri;

    const auto subject = uri (world, parameterUri.c_str());
    info.label = text (objectOf (world, subject.get(), rdfsLabel).get());
    info.minimum = number (objectOf (world, subject.get(), LV2_CORE__minimum).get(), 0.0f);
    info.maximum = number (objectOf (world, subject.get(), LV2_CORE__maximum).get(), 1.0f);
    info.defaultValue = number (objectOf (world, subject.get(), LV2_CORE__default).get(), info.minimum);

    const auto portProperty = uri (world, LV2_CORE__portProperty);
    const auto enumeration = uri (world, LV2_CORE__enumeration);
    const auto toggled = uri (world, LV2_CORE__toggled);
    info.enumeration = lilv_world_ask (world, subject.get(), portProperty.get(), enumeration.get());
    info.toggled = lilv_world_ask (world, subject.get(), portProperty.get(), toggled.get());

    const auto scalePoint = uri (world, LV2_CORE__scalePoint);
    const Nodes points (lilv_world_find_nodes (world, subject.get(), scalePoint.get(), nullptr));
    LILV_FOREACH (nodes, i, points.get())
    {
        const LilvNode* point = lilv_nodes_get (points.get(), i);
        info.scalePoints.push_back ({ number (objectOf (world, point, rdfValue).get(), 0.0f),
                                      text (objectOf (world, point, rdfsLabel).get()) });
    }
    std::stable_sort (info.scalePoints.begin(), info.scalePoints.end(),
                      [] (const ScalePoint& a, const ScalePoint& b) { return a.value < b.value; });
    return info;
}

} // namespace

int PluginDescription::countPorts (PortType type, bool isInput) const
{
    return (int) std::count_if (ports.begin(), ports.end(),
                                [&] (const PortInfo& p) { return p.type == type && p.isInput == isInput; });
}

const PortInfo* PluginDescription::latencyPort() const
{
    for (const auto& p : ports)
        if (p.type == PortType::control && ! p.isInput && p.reportsLatency)
            return &p;
    return nullptr;
}

const PortInfo* PluginDescription::eventInput() const
{
    const PortInfo* found = nullptr;
    for (const auto& p : ports)
        if (p.type == PortType::atom && p.isInput)
        {
            if (p.designation == LV2_CORE__control)
                return &p;
            if (found == nullptr)
                found = &p;
        }
    return found;
}

const ParameterInfo* PluginDescription::findParameter (const std::string& idOrUri) const
{
    for (const auto& p : parameters)
        if (p.id == idOrUri || p.uri == idOrUri)
            return &p;
    return nullptr;
}

World::World() : world (lilv_world_new()) {}

World::~World() { lilv_world_free (world); }

bool World::load (const std::string& bundleDir, std::string& error)
{
    if (bundleDir.empty())
    {
        lilv_world_load_all (world);
        return true;
    }

    std::error_code ec;
    const auto path = std::filesystem::absolute (bundleDir, ec);
    if (ec || ! std::filesystem::is_regular_file (path / "manifest.ttl", ec))
    {
        error = "not an LV2 bundle (no manifest.ttl): " + bundleDir;
        return false;
    }
    // lilv wants a bundle URI that ends in a slash.
    auto dir = path.string();
    if (dir.back() != '/')
        dir += '/';
    const Node bundle (lilv_new_file_uri (world, nullptr, dir.c_str()));
    lilv_world_load_bundle (world, bundle.get());
    return true;
}

std::vector<std::string> World::pluginUris() const
{
    std::vector<std::string> result;
    const LilvPlugins* plugins = lilv_world_get_all_plugins (world);
    LILV_FOREACH (plugins, i, plugins)
        result.push_back (text (lilv_plugin_get_uri (lilv_plugins_get (plugins, i))));
    return result;
}

const LilvPlugin* World::findPlugin (const std::string& pluginUri) const
{
    const auto node = uri (world, pluginUri.c_str());
    return node == nullptr ? nullptr : lilv_plugins_get_by_uri (lilv_world_get_all_plugins (world), node.get());
}

std::optional<PluginDescription> World::describe (const std::string& pluginUri, std::string& error) const
{
    const LilvPlugin* plugin = findPlugin (pluginUri);
    if (plugin == nullptr)
    {
        error = "no LV2 plug-in with the URI " + pluginUri + " (set LV2_PATH or give the bundle)";
        return std::nullopt;
    }
    if (! lilv_plugin_verify (plugin))
    {
        error = "the plug-in's description is incomplete: " + pluginUri;
        return std::nullopt;
    }

    PluginDescription d;
    d.uri = pluginUri;
    const Node name (lilv_plugin_get_name (plugin));
    d.name = text (name.get());
    d.bundleUri = text (lilv_plugin_get_bundle_uri (plugin));

    const LilvNode* subject = lilv_plugin_get_uri (plugin);
    const auto typePredicate = uri (world, rdfType);
    const Nodes types (lilv_world_find_nodes (world, subject, typePredicate.get(), nullptr));
    d.types = texts (types.get());
    d.isInstrument = std::find (d.types.begin(), d.types.end(), LV2_CORE__InstrumentPlugin) != d.types.end();

    const Nodes required (lilv_plugin_get_required_features (plugin));
    const Nodes optional (lilv_plugin_get_optional_features (plugin));
    const Nodes extensions (lilv_plugin_get_extension_data (plugin));
    d.requiredFeatures = texts (required.get());
    d.optionalFeatures = texts (optional.get());
    d.extensionData = texts (extensions.get());

    for (uint32_t i = 0, n = lilv_plugin_get_num_ports (plugin); i < n; ++i)
        d.ports.push_back (describePort (world, plugin, i));

    const LilvNodes* dataUris = lilv_plugin_get_data_uris (plugin);
    LILV_FOREACH (nodes, i, dataUris)
    {
        char* path = lilv_file_uri_parse (lilv_node_as_uri (lilv_nodes_get (dataUris, i)), nullptr);
        if (path != nullptr)
            d.dataFiles.push_back (path);
        lilv_free (path);
    }

    const auto writable = uri (world, LV2_PATCH__writable);
    const Nodes parameterNodes (lilv_world_find_nodes (world, subject, writable.get(), nullptr));
    const auto order = readWritableOrder (d.dataFiles, pluginUri);
    LILV_FOREACH (nodes, i, parameterNodes.get())
    {
        const LilvNode* node = lilv_nodes_get (parameterNodes.get(), i);
        if (! lilv_node_is_uri (node))
            continue;
        auto info = describeParameter (world, pluginUri, text (node));
        const auto at = std::find (order.begin(), order.end(), info.uri);
        info.index = at == order.end() ? -1 : (int) (at - order.begin());
        d.parameters.push_back (std::move (info));
    }
    // Known indices first, in index order; any the files did not show keep lilv's order after them.
    std::stable_sort (d.parameters.begin(), d.parameters.end(), [] (const ParameterInfo& a, const ParameterInfo& b)
    {
        const auto key = [] (int index) { return index < 0 ? 0x7fffffff : index; };
        return key (a.index) < key (b.index);
    });
    return d;
}

} // namespace vh
