// A render: a host transport, block sizes and timed events played through an instance.
#include "host/Render.h"

#include <algorithm>
#include <cmath>

namespace vh
{
namespace
{

/** Hands out block lengths; the random mode uses xorshift32 so a seed means the same blocks everywhere. */
class BlockSizer
{
public:
    explicit BlockSizer (const BlockSizes& s) : sizes (s), state (s.seed == 0 ? 0x9e3779b9u : s.seed) {}

    uint32_t next()
    {
        switch (sizes.mode)
        {
            case BlockSizes::Mode::fixed:
                return sizes.size;
            case BlockSizes::Mode::list:
                return sizes.list.empty() ? 512 : sizes.list[listIndex++ % sizes.list.size()];
            case BlockSizes::Mode::random:
            {
                state ^= state << 13;
                state ^= state >> 17;
                state ^= state << 5;
                const uint32_t span = sizes.maximum - sizes.minimum + 1;
                return sizes.minimum + state % span;
            }
        }
        return sizes.size;
    }

private:
    const BlockSizes& sizes;
    size_t listIndex = 0;
    uint32_t state;
};

struct Transport
{
    double tempo;
    double beats; // beats since bar 0
    int64_t frame;
    bool playing;
    int beatsPerBar;
    int beatUnit;

    Position position (PositionStyle style) const
    {
        Position p;
        p.frame = frame;
        p.speed = playing ? 1.0f : 0.0f;
        const double bars = std::floor (beats / beatsPerBar);
        p.bar = (int64_t) bars;
        p.barBeat = beats - bars * beatsPerBar;
        p.beatUnit = beatUnit;
        p.beatsPerBar = (float) beatsPerBar;
        p.beatsPerMinute = tempo;
        if (style == PositionStyle::everyBlock || style == PositionStyle::onChange)
            p.beat = beats;
        return p;
    }

    double framesPerBeat (double sampleRate) const { return sampleRate * 60.0 / tempo; }
};

} // namespace

uint32_t BlockSizes::longest() const
{
    uint32_t result = 1;
    switch (mode)
    {
        case Mode::fixed: result = size; break;
        case Mode::list:
            for (const auto s : list)
                result = std::max (result, s);
            break;
        case Mode::random: result = maximum; break;
    }
    return std::max (result, 1u);
}

bool render (Instance& instance, const RenderPlan& plan, const AudioSink& sink, const Progress& progress,
             std::string& error)
{
    const bool neverAdvances = (plan.blocks.mode == BlockSizes::Mode::fixed && plan.blocks.size == 0)
        || (plan.blocks.mode == BlockSizes::Mode::list
            && std::all_of (plan.blocks.list.begin(), plan.blocks.list.end(), [] (uint32_t s) { return s == 0; }))
        || (plan.blocks.mode == BlockSizes::Mode::random
            && (plan.blocks.maximum == 0 || plan.blocks.minimum > plan.blocks.maximum));
    if (neverAdvances || plan.tempo <= 0.0 || plan.beatsPerBar < 1 || plan.beatUnit < 1)
    {
        error = "the block sizes or the transport of the render cannot work";
        return false;
    }
    const double sampleRate = instance.options().sampleRate;
    Transport t { plan.tempo, plan.startBar * plan.beatsPerBar, 0, plan.playing, plan.beatsPerBar, plan.beatUnit };
    t.frame = (int64_t) std::llround (t.beats * t.framesPerBeat (sampleRate));

    auto changes = plan.changes;
    std::stable_sort (changes.begin(), changes.end(), [] (const auto& a, const auto& b) { return a.frame < b.frame; });
    auto midi = plan.midi;
    std::stable_sort (midi.begin(), midi.end(), [] (const auto& a, const auto& b) { return a.frame < b.frame; });
    auto parameters = plan.parameters;
    std::stable_sort (parameters.begin(), parameters.end(), [] (const auto& a, const auto& b) { return a.frame < b.frame; });

    BlockSizer sizer (plan.blocks);
    size_t nextChange = 0, nextMidi = 0, nextParameter = 0;
    bool changed = true; // the first block always tells the plug-in where it is
    const int channels = std::max (1, instance.numOutputs());
    std::vector<const float*> outputs ((size_t) channels);
    std::vector<float> silence;

    for (int64_t now = 0; now < plan.frames;)
    {
        for (; nextChange < changes.size() && changes[nextChange].frame <= now; ++nextChange)
        {
            const auto& c = changes[nextChange];
            switch (c.kind)
            {
                case TransportChange::Kind::stop: t.playing = false; break;
                case TransportChange::Kind::play: t.playing = true; break;
                case TransportChange::Kind::tempo: t.tempo = std::clamp (c.value, 1.0, 1000.0); break;
                case TransportChange::Kind::jump:
                    t.beats = c.value * t.beatsPerBar;
                    t.frame = (int64_t) std::llround (t.beats * t.framesPerBeat (sampleRate));
                    break;
            }
            changed = true;
        }

        int64_t length = std::min<int64_t> (sizer.next(), plan.frames - now);
        // Cut the block where the transport or a parameter changes next.
        if (nextChange < changes.size())
            length = std::min (length, changes[nextChange].frame - now);
        while (nextParameter < parameters.size() && parameters[nextParameter].frame < now)
            ++nextParameter; // cannot happen after sorting, kept for safety against negative frames
        const size_t firstParameter = nextParameter;
        size_t endParameter = firstParameter;
        while (endParameter < parameters.size() && parameters[endParameter].frame == now)
            ++endParameter;
        if (endParameter < parameters.size() && length > 0)
            length = std::min (length, parameters[endParameter].frame - now);

        BlockEvents events;
        const bool sendPosition = plan.style == PositionStyle::everyBlock || plan.style == PositionStyle::everyBlockNoBeat
                                  || (changed && plan.style != PositionStyle::none);
        if (sendPosition)
            events.position = t.position (plan.style);
        changed = false;
        if (length > 0)
        {
            for (size_t i = firstParameter; i < endParameter; ++i)
                events.parameters.push_back ({ 0, parameters[i].uri, parameters[i].value });
            nextParameter = endParameter;
            for (; nextMidi < midi.size() && midi[nextMidi].frame < now + length; ++nextMidi)
                events.midi.push_back ({ (uint32_t) std::max<int64_t> (0, midi[nextMidi].frame - now), midi[nextMidi].bytes });
        }

        if (! instance.run ((uint32_t) length, events, error))
            return false;

        for (int c = 0; c < channels; ++c)
        {
            const float* data = instance.output (c);
            if (data == nullptr)
            {
                silence.assign ((size_t) std::max<int64_t> (length, 1), 0.0f);
                data = silence.data();
            }
            outputs[(size_t) c] = data;
        }
        if (length > 0)
            sink (outputs.data(), channels, (uint32_t) length);

        now += length;
        if (t.playing)
        {
            t.beats += (double) length / t.framesPerBeat (sampleRate);
            t.frame += length;
        }
        if (progress)
            progress (now);
    }
    return true;
}

} // namespace vh
