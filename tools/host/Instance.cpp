// One running instance of an LV2 plug-in: ports, features, blocks and state.
#include "host/Instance.h"

#include <lv2/atom/util.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/midi/midi.h>
#include <lv2/parameters/parameters.h>
#include <lv2/patch/patch.h>
#include <lv2/state/state.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <cstring>

namespace vh
{

struct Instance::Ids
{
    explicit Ids (UridMap& m)
        : atomChunk (m.map (LV2_ATOM__Chunk)), atomSequence (m.map (LV2_ATOM__Sequence)),
          atomObject (m.map (LV2_ATOM__Object)), atomBlank (m.map (LV2_ATOM__Blank)),
          atomFloat (m.map (LV2_ATOM__Float)), atomInt (m.map (LV2_ATOM__Int)),
          atomLong (m.map (LV2_ATOM__Long)), atomDouble (m.map (LV2_ATOM__Double)),
          atomUrid (m.map (LV2_ATOM__URID)), midiEvent (m.map (LV2_MIDI__MidiEvent)),
          patchSet (m.map (LV2_PATCH__Set)), patchProperty (m.map (LV2_PATCH__property)),
          patchValue (m.map (LV2_PATCH__value)), stateChanged (m.map (LV2_STATE__StateChanged)),
          position (m.map (LV2_TIME__Position)), frame (m.map (LV2_TIME__frame)),
          speed (m.map (LV2_TIME__speed)), bar (m.map (LV2_TIME__bar)), barBeat (m.map (LV2_TIME__barBeat)),
          beatUnit (m.map (LV2_TIME__beatUnit)), beatsPerBar (m.map (LV2_TIME__beatsPerBar)),
          beatsPerMinute (m.map (LV2_TIME__beatsPerMinute)), beat (m.map (LV2_TIME__beat)),
          maxBlock (m.map (LV2_BUF_SIZE__maxBlockLength)), minBlock (m.map (LV2_BUF_SIZE__minBlockLength)),
          nominalBlock (m.map (LV2_BUF_SIZE__nominalBlockLength)), sequenceSize (m.map (LV2_BUF_SIZE__sequenceSize)),
          sampleRate (m.map (LV2_PARAMETERS__sampleRate))
    {
    }

    LV2_URID atomChunk, atomSequence, atomObject, atomBlank, atomFloat, atomInt, atomLong, atomDouble, atomUrid;
    LV2_URID midiEvent, patchSet, patchProperty, patchValue, stateChanged;
    LV2_URID position, frame, speed, bar, barBeat, beatUnit, beatsPerBar, beatsPerMinute, beat;
    LV2_URID maxBlock, minBlock, nominalBlock, sequenceSize, sampleRate;
};

namespace
{

// Features this host provides; a plug-in that requires anything else is refused before instantiation.
const char* const providedFeatures[] = { LV2_URID__map, LV2_URID__unmap, LV2_OPTIONS__options,
                                         LV2_BUF_SIZE__boundedBlockLength, LV2_CORE__isLive };

bool isProvided (const std::string& feature)
{
    return std::any_of (std::begin (providedFeatures), std::end (providedFeatures),
                        [&] (const char* f) { return feature == f; });
}

} // namespace

std::unique_ptr<Instance> Instance::create (World& world, const std::string& pluginUri,
                                            const InstanceOptions& options, std::string& error)
{
    auto desc = world.describe (pluginUri, error);
    if (! desc)
        return nullptr;
    for (const auto& feature : desc->requiredFeatures)
        if (! isProvided (feature))
        {
            error = "the plug-in requires a feature this host lacks: " + feature;
            return nullptr;
        }
    if (options.sampleRate < 1.0 || options.sampleRate > 1.0e6 || options.maxBlockLength == 0
        || options.maxBlockLength > (1u << 20) || options.minBlockLength > options.maxBlockLength)
    {
        error = "bad sample rate or block length";
        return nullptr;
    }
    std::unique_ptr<Instance> self (new Instance (world, world.findPlugin (pluginUri), std::move (*desc), options));
    if (! self->start (error))
        return nullptr;
    return self;
}

Instance::Instance (World& w, const LilvPlugin* p, PluginDescription d, const InstanceOptions& o)
    : world (w), plugin (p), desc (std::move (d)), opts (o), ids (std::make_unique<Ids> (w.urids()))
{
}

Instance::~Instance()
{
    if (instance != nullptr)
    {
        if (active)
            lilv_instance_deactivate (instance);
        lilv_instance_free (instance);
    }
}

bool Instance::start (std::string& error)
{
    auto& urids = world.urids();
    maxLength = (int32_t) opts.maxBlockLength;
    minLength = (int32_t) opts.minBlockLength;
    nominalLength = (int32_t) std::clamp (opts.nominalBlockLength, opts.minBlockLength, opts.maxBlockLength);
    rate = (float) opts.sampleRate;

    uint32_t atomBytes = opts.atomCapacity;
    for (const auto& port : desc.ports)
        atomBytes = std::max (atomBytes, port.minimumSize);
    atomBytes = (atomBytes + 7u) & ~7u;
    sequenceSize = (int32_t) atomBytes;

    const auto option = [&] (LV2_URID key, uint32_t size, LV2_URID type, const void* value)
    {
        optionList.push_back ({ LV2_OPTIONS_INSTANCE, 0, key, size, type, value });
    };
    option (ids->maxBlock, sizeof (int32_t), ids->atomInt, &maxLength);
    option (ids->minBlock, sizeof (int32_t), ids->atomInt, &minLength);
    option (ids->nominalBlock, sizeof (int32_t), ids->atomInt, &nominalLength);
    option (ids->sequenceSize, sizeof (int32_t), ids->atomInt, &sequenceSize);
    option (ids->sampleRate, sizeof (float), ids->atomFloat, &rate);
    optionList.push_back ({ LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr });

    featureStore = { { LV2_URID__map, urids.mapFeature() },
                     { LV2_URID__unmap, urids.unmapFeature() },
                     { LV2_OPTIONS__options, optionList.data() },
                     { LV2_BUF_SIZE__boundedBlockLength, nullptr } };
    for (auto& f : featureStore)
        features.push_back (&f);
    features.push_back (nullptr);

    instance = lilv_plugin_instantiate (plugin, opts.sampleRate, features.data());
    if (instance == nullptr)
    {
        error = "the plug-in refused to instantiate: " + desc.uri;
        return false;
    }

    const auto n = desc.ports.size();
    controls.assign (n, 0.0f);
    audioBuffers.resize (n);
    atomBuffers.resize (n);
    for (const auto& port : desc.ports)
    {
        void* data = nullptr;
        switch (port.type)
        {
            case PortType::control:
                controls[port.index] = port.isInput ? port.defaultValue : 0.0f;
                data = &controls[port.index];
                break;
            case PortType::audio:
            case PortType::cv:
                audioBuffers[port.index].assign (opts.maxBlockLength, 0.0f);
                data = audioBuffers[port.index].data();
                if (port.type == PortType::audio && ! port.isInput)
                    audioOutputs.push_back (port.index);
                break;
            case PortType::atom:
                atomBuffers[port.index].assign (atomBytes / 8, 0);
                data = atomBuffers[port.index].data();
                if (! port.isInput)
                    atomOutputs.push_back (port.index);
                break;
            case PortType::unknown:
                if (! port.isOptional)
                {
                    error = "the plug-in has a port of a type this host cannot connect: " + port.symbol;
                    return false;
                }
                break;
        }
        lilv_instance_connect_port (instance, port.index, data);
    }
    if (const auto* in = desc.eventInput())
        eventInput = (int) in->index;

    lv2_atom_forge_init (&forge, urids.mapFeature());
    // An empty input sequence until the first run writes one.
    if (eventInput >= 0)
        writeEvents (0, {});

    if (opts.activate)
        activate();
    return true;
}

void Instance::activate()
{
    if (active || instance == nullptr)
        return;
    lilv_instance_activate (instance);
    active = true;
}

const float* Instance::output (int channel) const
{
    if (channel < 0 || channel >= (int) audioOutputs.size())
        return nullptr;
    return audioBuffers[audioOutputs[(size_t) channel]].data();
}

std::optional<float> Instance::latency() const
{
    if (const auto* port = desc.latencyPort())
        return controls[port->index];
    return std::nullopt;
}

std::optional<float> Instance::control (const std::string& symbol) const
{
    for (const auto& port : desc.ports)
        if (port.type == PortType::control && port.symbol == symbol)
            return controls[port.index];
    return std::nullopt;
}

bool Instance::writeEvents (uint32_t frames, const BlockEvents& events)
{
    auto& buffer = atomBuffers[(size_t) eventInput];
    lv2_atom_forge_set_buffer (&forge, reinterpret_cast<uint8_t*> (buffer.data()), buffer.size() * 8);
    LV2_Atom_Forge_Frame sequence;
    bool ok = lv2_atom_forge_sequence_head (&forge, &sequence, 0) != 0;
    const auto clampFrame = [&] (uint32_t f) { return (int64_t) std::min (f, frames == 0 ? 0u : frames - 1); };

    if (const auto& p = events.position; p && ok)
    {
        LV2_Atom_Forge_Frame object;
        lv2_atom_forge_frame_time (&forge, 0);
        ok = lv2_atom_forge_object (&forge, &object, 0, ids->position) != 0;
        lv2_atom_forge_key (&forge, ids->frame);
        lv2_atom_forge_long (&forge, p->frame);
        lv2_atom_forge_key (&forge, ids->speed);
        lv2_atom_forge_float (&forge, p->speed);
        lv2_atom_forge_key (&forge, ids->bar);
        lv2_atom_forge_long (&forge, p->bar);
        lv2_atom_forge_key (&forge, ids->barBeat);
        lv2_atom_forge_float (&forge, (float) p->barBeat);
        lv2_atom_forge_key (&forge, ids->beatUnit);
        lv2_atom_forge_int (&forge, p->beatUnit);
        lv2_atom_forge_key (&forge, ids->beatsPerBar);
        lv2_atom_forge_float (&forge, p->beatsPerBar);
        lv2_atom_forge_key (&forge, ids->beatsPerMinute);
        lv2_atom_forge_float (&forge, (float) p->beatsPerMinute);
        if (p->beat)
        {
            lv2_atom_forge_key (&forge, ids->beat);
            ok = lv2_atom_forge_double (&forge, *p->beat) != 0 && ok;
        }
        if (ok)
            lv2_atom_forge_pop (&forge, &object);
    }

    // Parameters before notes at the same frame, each kind in its given order.
    struct Item
    {
        int64_t frame;
        int kind;
        size_t index;
    };
    std::vector<Item> items;
    for (size_t i = 0; i < events.parameters.size(); ++i)
        items.push_back ({ clampFrame (events.parameters[i].frame), 0, i });
    for (size_t i = 0; i < events.midi.size(); ++i)
        items.push_back ({ clampFrame (events.midi[i].frame), 1, i });
    std::stable_sort (items.begin(), items.end(), [] (const Item& a, const Item& b)
                      { return a.frame != b.frame ? a.frame < b.frame : a.kind < b.kind; });

    auto& urids = world.urids();
    for (const auto& item : items)
    {
        if (! ok)
            break;
        ok = lv2_atom_forge_frame_time (&forge, item.frame) != 0;
        if (item.kind == 0)
        {
            const auto& set = events.parameters[item.index];
            LV2_Atom_Forge_Frame object;
            ok = ok && lv2_atom_forge_object (&forge, &object, 0, ids->patchSet) != 0;
            lv2_atom_forge_key (&forge, ids->patchProperty);
            lv2_atom_forge_urid (&forge, urids.map (set.uri));
            lv2_atom_forge_key (&forge, ids->patchValue);
            ok = ok && lv2_atom_forge_float (&forge, set.value) != 0;
            if (ok)
                lv2_atom_forge_pop (&forge, &object);
        }
        else
        {
            const auto& bytes = events.midi[item.index].bytes;
            ok = ok && lv2_atom_forge_atom (&forge, (uint32_t) bytes.size(), ids->midiEvent) != 0
                 && lv2_atom_forge_write (&forge, bytes.data(), (uint32_t) bytes.size()) != 0;
        }
    }
    if (ok)
        lv2_atom_forge_pop (&forge, &sequence);
    return ok;
}

bool Instance::run (uint32_t frames, const BlockEvents& events, std::string& error)
{
    if (frames > opts.maxBlockLength)
    {
        error = "block of " + std::to_string (frames) + " frames is longer than the maximum "
                + std::to_string (opts.maxBlockLength);
        return false;
    }
    if (eventInput >= 0 && ! writeEvents (frames, events))
    {
        // The events did not fit: grow the input to hold them and try once more.
        size_t need = 1024;
        for (const auto& m : events.midi)
            need += m.bytes.size() + 32;
        need += events.parameters.size() * 64;
        auto& buffer = atomBuffers[(size_t) eventInput];
        buffer.assign (std::max (buffer.size() * 2, (need + 7) / 8 + buffer.size()), 0);
        lilv_instance_connect_port (instance, (uint32_t) eventInput, buffer.data());
        if (! writeEvents (frames, events))
        {
            error = "the block's events do not fit into the event input";
            return false;
        }
    }
    else if (eventInput < 0 && (events.position || ! events.parameters.empty() || ! events.midi.empty()))
    {
        error = "the plug-in has no event input";
        return false;
    }

    for (const auto index : atomOutputs)
    {
        // An output sequence starts as a Chunk whose size is the space the plug-in may fill.
        auto* atom = reinterpret_cast<LV2_Atom*> (atomBuffers[index].data());
        atom->type = ids->atomChunk;
        atom->size = (uint32_t) (atomBuffers[index].size() * 8 - sizeof (LV2_Atom));
    }

    lilv_instance_run (instance, frames);
    readOutputEvents();
    return true;
}

void Instance::readOutputEvents()
{
    outEvents = {};
    auto& urids = world.urids();
    for (const auto index : atomOutputs)
    {
        const auto* seq = reinterpret_cast<const LV2_Atom_Sequence*> (atomBuffers[index].data());
        if (seq->atom.type != ids->atomSequence || seq->atom.size > atomBuffers[index].size() * 8 - sizeof (LV2_Atom))
            continue;
        LV2_ATOM_SEQUENCE_FOREACH (seq, ev)
        {
            const auto frame = (uint32_t) std::max<int64_t> (0, ev->time.frames);
            if (ev->body.type == ids->midiEvent)
            {
                const auto* bytes = reinterpret_cast<const uint8_t*> (&ev->body + 1);
                outEvents.midi.push_back ({ frame, std::vector<uint8_t> (bytes, bytes + ev->body.size) });
            }
            else if (ev->body.type == ids->atomObject || ev->body.type == ids->atomBlank)
            {
                const auto* object = reinterpret_cast<const LV2_Atom_Object*> (&ev->body);
                if (object->body.otype == ids->stateChanged)
                    ++outEvents.stateChanged;
                if (object->body.otype != ids->patchSet)
                    continue;
                const LV2_Atom* property = nullptr;
                const LV2_Atom* value = nullptr;
                lv2_atom_object_get (object, ids->patchProperty, &property, ids->patchValue, &value, 0);
                if (property == nullptr || property->type != ids->atomUrid || value == nullptr
                    || value->type != ids->atomFloat)
                    continue;
                outEvents.parameters.push_back ({ frame, urids.unmap (reinterpret_cast<const LV2_Atom_URID*> (property)->body),
                                                  reinterpret_cast<const LV2_Atom_Float*> (value)->body });
            }
        }
    }
}

namespace
{

const void* portValue (const char* symbol, void* userData, uint32_t* size, uint32_t* type)
{
    auto* self = static_cast<std::pair<const Instance*, LV2_URID>*> (userData);
    for (const auto& port : self->first->description().ports)
        if (port.type == PortType::control && port.isInput && port.symbol == symbol)
        {
            static thread_local float value;
            value = *self->first->control (symbol);
            *size = sizeof (float);
            *type = self->second;
            return &value;
        }
    *size = 0;
    *type = 0;
    return nullptr;
}

// The state's subject and base; only the plug-in's properties matter when it is read back.
constexpr const char* stateUri = "urn:virl-host:state";
constexpr const char* stateBase = nullptr;

} // namespace

std::optional<std::string> Instance::saveState (std::string& error)
{
    auto& urids = world.urids();
    std::pair<const Instance*, LV2_URID> context { this, ids->atomFloat };
    LilvState* state = lilv_state_new_from_instance (plugin, instance, urids.mapFeature(), nullptr, nullptr, nullptr,
                                                     nullptr, portValue, &context,
                                                     LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, features.data());
    if (state == nullptr)
    {
        error = "the plug-in gave no state";
        return std::nullopt;
    }
    char* text = lilv_state_to_string (world.lilv(), urids.mapFeature(), urids.unmapFeature(), state, stateUri, stateBase);
    lilv_state_free (state);
    if (text == nullptr)
    {
        error = "the state could not be written as Turtle";
        return std::nullopt;
    }
    // lilv writes prefixed names without declaring the prefixes; declare them so the file is plain Turtle.
    std::string result = "@prefix atom: <http://lv2plug.in/ns/ext/atom#> .\n"
                         "@prefix lv2: <http://lv2plug.in/ns/lv2core#> .\n"
                         "@prefix pset: <http://lv2plug.in/ns/ext/presets#> .\n"
                         "@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .\n"
                         "@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .\n"
                         "@prefix state: <http://lv2plug.in/ns/ext/state#> .\n"
                         "@prefix xsd: <http://www.w3.org/2001/XMLSchema#> .\n\n";
    result += text;
    lilv_free (text);
    return result;
}

bool Instance::restoreState (const std::string& turtle, std::string& error)
{
    auto& urids = world.urids();
    LilvState* state = lilv_state_new_from_string (world.lilv(), urids.mapFeature(), turtle.c_str());
    if (state == nullptr)
    {
        error = "not an LV2 state";
        return false;
    }
    const LilvNode* owner = lilv_state_get_plugin_uri (state);
    if (owner == nullptr || desc.uri != lilv_node_as_uri (owner))
    {
        error = "the state belongs to another plug-in: " + std::string (owner ? lilv_node_as_uri (owner) : "(none)");
        lilv_state_free (state);
        return false;
    }
    // Input control values come back through the host, which owns the ports' storage.
    const auto setValue = [] (const char* symbol, void* userData, const void* value, uint32_t size, uint32_t type)
    {
        auto* self = static_cast<Instance*> (userData);
        if (size != sizeof (float) || type != self->ids->atomFloat)
            return;
        for (const auto& port : self->desc.ports)
            if (port.type == PortType::control && port.isInput && port.symbol == symbol)
                std::memcpy (&self->controls[port.index], value, sizeof (float));
    };
    lilv_state_restore (state, instance, setValue, this, 0, features.data());
    lilv_state_free (state);
    return true;
}

} // namespace vh
