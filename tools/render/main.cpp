// virl-render: plays an LV2 instrument offline through the host library and writes a 24-bit WAV.
#include "host/Instance.h"
#include "host/Render.h"
#include "host/Wav.h"
#include "host/World.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <thread>

namespace
{

constexpr const char* defaultUri = "https://trevlor.audio/lv2/VIRL";

constexpr const char* helpText = R"(usage: virl-render [options]

Plays an LV2 instrument (VIRL by default) offline and writes a 24-bit stereo WAV.
Times T and lengths accept seconds ("1.5", "1.5s") or frames ("72000f").
Bars count from 0, as LV2's time:bar does; "16.5" is half-way through bar 16.

Plug-in
  --plugin URI            plug-in URI (default https://trevlor.audio/lv2/VIRL)
  --bundle DIR            load only this bundle instead of everything on LV2_PATH
  --list-params           print the plug-in's parameters and exit
  --list-ports            print the plug-in's ports and exit

Output
  -o, --out FILE          WAV file to write; without it the render is only measured
  --seconds S             length in seconds (default 10)
  --frames N              length in frames
  --rate HZ               sample rate (default 48000)
  --quiet                 no progress bar and no summary
  --realtime              pace the render at real time, as a host's audio thread would

Blocks
  --block N               every block N frames (default 512)
  --blocks random:A..B    block sizes drawn uniformly from A..B (0 allowed) ...
  --blocks N,N,...        ... or taken from a list in turn
  --seed N                seed of the random block sizes (default 1)

Transport
  --tempo BPM             tempo (default 124)
  --meter N/D             time signature (default 4/4)
  --start BAR             start position in bars (default 0)
  --stopped               start with the transport stopped
  --stop T                stop the transport at T
  --play T                start the transport at T
  --jump T:BAR            jump to BAR at T
  --tempo-at T:BPM        change the tempo at T
  --transport STYLE       how the position is sent:
                            every   time:Position with time:beat every block (default)
                            change  with time:beat, only when the transport changes
                            nobeat  every block, without time:beat
                            jalv    only when it changes and without time:beat
                            none    never

Events
  --note T:NOTE:VEL:LEN   a note on MIDI channel 1 held for LEN
  --midi T:HEX            raw MIDI bytes, e.g. 0:b07b00 or a sysex f07e7f0901f7
  --sysex T:N             a sysex message of N bytes (N >= 2)
  --set ID=VALUE[@T]      set a parameter (patch:Set) at the start or at T;
                          ID is the parameter ID or its full URI

State
  --restore-state FILE    restore this state (Turtle from --save-state) before rendering
  --restore-delay-ms N    wait N ms of real time after instantiation before restoring
  --save-state FILE       save the state after rendering

Blocks are cut where the transport or a parameter changes, so every change lands on its frame.
)";

struct Options
{
    std::string uri = defaultUri, bundle, out, saveState, restoreState;
    double seconds = 10.0;
    int64_t frames = -1;
    std::string framesText;
    double rate = 48000.0;
    bool quiet = false, listParams = false, listPorts = false, realtime = false;
    int restoreDelayMs = 0;
    vh::RenderPlan plan;
    std::vector<std::string> notes, midi, sysex, sets, stops, plays, jumps, tempos;
};

bool fail (const std::string& message)
{
    std::fprintf (stderr, "virl-render: %s\n", message.c_str());
    return false;
}

bool parseNumber (const std::string& text, double& value)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    value = std::strtod (text.c_str(), &end);
    return end == text.c_str() + text.size() && std::isfinite (value);
}

bool parseInt (const std::string& text, int64_t& value, int64_t lo, int64_t hi)
{
    double d = 0.0;
    if (! parseNumber (text, d) || d != std::floor (d) || d < (double) lo || d > (double) hi)
        return false;
    value = (int64_t) d;
    return true;
}

/** "1.5", "1.5s" (seconds) or "72000f" (frames), to frames; negative times are refused. */
bool parseTime (const std::string& text, double rate, int64_t& frames)
{
    if (! text.empty() && text.back() == 'f')
        return parseInt (text.substr (0, text.size() - 1), frames, 0, INT64_C (1) << 40);
    double seconds = 0.0;
    const auto number = ! text.empty() && text.back() == 's' ? text.substr (0, text.size() - 1) : text;
    if (! parseNumber (number, seconds) || seconds < 0.0 || seconds > 1.0e7)
        return false;
    frames = (int64_t) std::llround (seconds * rate);
    return true;
}

std::vector<std::string> split (const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in (text);
    while (std::getline (in, part, separator))
        parts.push_back (part);
    if (! text.empty() && text.back() == separator)
        parts.push_back ({});
    return parts;
}

bool parseBlocks (const std::string& text, vh::BlockSizes& blocks)
{
    constexpr int64_t longest = 1 << 16;
    if (text.rfind ("random:", 0) == 0)
    {
        const auto range = text.substr (7);
        const auto dots = range.find ("..");
        int64_t lo = 0, hi = 0;
        if (dots == std::string::npos || ! parseInt (range.substr (0, dots), lo, 0, longest)
            || ! parseInt (range.substr (dots + 2), hi, 1, longest) || lo > hi)
            return false;
        blocks.mode = vh::BlockSizes::Mode::random;
        blocks.minimum = (uint32_t) lo;
        blocks.maximum = (uint32_t) hi;
        return true;
    }
    blocks.mode = vh::BlockSizes::Mode::list;
    blocks.list.clear();
    for (const auto& part : split (text, ','))
    {
        int64_t n = 0;
        if (! parseInt (part, n, 0, longest))
            return false;
        blocks.list.push_back ((uint32_t) n);
    }
    return std::any_of (blocks.list.begin(), blocks.list.end(), [] (uint32_t n) { return n > 0; });
}

bool parseHex (const std::string& text, std::vector<uint8_t>& bytes)
{
    if (text.empty() || text.size() % 2 != 0)
        return false;
    for (size_t i = 0; i < text.size(); i += 2)
    {
        const auto pair = text.substr (i, 2);
        if (! std::isxdigit ((unsigned char) pair[0]) || ! std::isxdigit ((unsigned char) pair[1]))
            return false;
        bytes.push_back ((uint8_t) std::strtoul (pair.c_str(), nullptr, 16));
    }
    return true;
}

bool parseArguments (int argc, char** argv, Options& o)
{
    o.plan.tempo = 124.0;
    for (int i = 1; i < argc; ++i)
    {
        const std::string arg = argv[i];
        const auto value = [&] (std::string& into)
        {
            if (i + 1 >= argc)
                return fail ("option " + arg + " needs a value");
            into = argv[++i];
            return true;
        };
        std::string v;
        if (arg == "-h" || arg == "--help")
        {
            std::fputs (helpText, stdout);
            std::exit (0);
        }
        else if (arg == "--quiet") o.quiet = true;
        else if (arg == "--list-params") o.listParams = true;
        else if (arg == "--list-ports") o.listPorts = true;
        else if (arg == "--stopped") o.plan.playing = false;
        else if (arg == "--plugin") { if (! value (o.uri)) return false; }
        else if (arg == "--bundle") { if (! value (o.bundle)) return false; }
        else if (arg == "-o" || arg == "--out") { if (! value (o.out)) return false; }
        else if (arg == "--save-state") { if (! value (o.saveState)) return false; }
        else if (arg == "--restore-state") { if (! value (o.restoreState)) return false; }
        else if (arg == "--frames") { if (! value (o.framesText)) return false; }
        else if (arg == "--note") { if (! value (v)) return false; o.notes.push_back (v); }
        else if (arg == "--midi") { if (! value (v)) return false; o.midi.push_back (v); }
        else if (arg == "--sysex") { if (! value (v)) return false; o.sysex.push_back (v); }
        else if (arg == "--set") { if (! value (v)) return false; o.sets.push_back (v); }
        else if (arg == "--stop") { if (! value (v)) return false; o.stops.push_back (v); }
        else if (arg == "--play") { if (! value (v)) return false; o.plays.push_back (v); }
        else if (arg == "--jump") { if (! value (v)) return false; o.jumps.push_back (v); }
        else if (arg == "--tempo-at") { if (! value (v)) return false; o.tempos.push_back (v); }
        else if (arg == "--seconds")
        {
            if (! value (v) || ! parseNumber (v, o.seconds) || o.seconds < 0.0 || o.seconds > 1.0e7)
                return fail ("--seconds needs a length in seconds");
        }
        else if (arg == "--rate")
        {
            if (! value (v) || ! parseNumber (v, o.rate) || o.rate < 1000.0 || o.rate > 768000.0)
                return fail ("--rate needs a sample rate between 1000 and 768000");
        }
        else if (arg == "--tempo")
        {
            if (! value (v) || ! parseNumber (v, o.plan.tempo) || o.plan.tempo < 1.0 || o.plan.tempo > 1000.0)
                return fail ("--tempo needs a tempo between 1 and 1000 BPM");
        }
        else if (arg == "--start")
        {
            if (! value (v) || ! parseNumber (v, o.plan.startBar) || o.plan.startBar < 0.0 || o.plan.startBar > 1.0e8)
                return fail ("--start needs a position in bars, 0 or more");
        }
        else if (arg == "--meter")
        {
            int64_t n = 0, d = 0;
            const auto parts = value (v) ? split (v, '/') : std::vector<std::string>();
            if (parts.size() != 2 || ! parseInt (parts[0], n, 1, 64) || ! parseInt (parts[1], d, 1, 64))
                return fail ("--meter needs a time signature such as 4/4");
            o.plan.beatsPerBar = (int) n;
            o.plan.beatUnit = (int) d;
        }
        else if (arg == "--block")
        {
            int64_t n = 0;
            if (! value (v) || ! parseInt (v, n, 1, 1 << 16))
                return fail ("--block needs a block size between 1 and 65536");
            o.plan.blocks.mode = vh::BlockSizes::Mode::fixed;
            o.plan.blocks.size = (uint32_t) n;
        }
        else if (arg == "--blocks")
        {
            if (! value (v) || ! parseBlocks (v, o.plan.blocks))
                return fail ("--blocks needs random:MIN..MAX or a list such as 64,1,4096 (sizes up to 65536, not all 0)");
        }
        else if (arg == "--seed")
        {
            int64_t n = 0;
            if (! value (v) || ! parseInt (v, n, 0, UINT32_MAX))
                return fail ("--seed needs a number from 0 to 4294967295");
            o.plan.blocks.seed = (uint32_t) n;
        }
        else if (arg == "--realtime")
            o.realtime = true;
        else if (arg == "--restore-delay-ms")
        {
            int64_t n = 0;
            if (! value (v) || ! parseInt (v, n, 0, 600000))
                return fail ("--restore-delay-ms needs a number of milliseconds");
            o.restoreDelayMs = (int) n;
        }
        else if (arg == "--transport")
        {
            if (! value (v))
                return false;
            using S = vh::PositionStyle;
            const std::pair<const char*, S> styles[] = { { "every", S::everyBlock }, { "change", S::onChange },
                                                         { "nobeat", S::everyBlockNoBeat }, { "jalv", S::onChangeNoBeat },
                                                         { "none", S::none } };
            const auto it = std::find_if (std::begin (styles), std::end (styles), [&] (const auto& s) { return v == s.first; });
            if (it == std::end (styles))
                return fail ("--transport needs every, change, nobeat, jalv or none");
            o.plan.style = it->second;
        }
        else
            return fail ("unknown option " + arg + " (see --help)");
    }
    return true;
}

/** Turns the timed options into the plan's events; needs the sample rate and the plug-in's parameters. */
bool buildEvents (Options& o, const vh::PluginDescription& plugin)
{
    auto& plan = o.plan;
    using Kind = vh::TransportChange::Kind;
    int64_t at = 0;
    for (const auto& s : o.stops)
    {
        if (! parseTime (s, o.rate, at))
            return fail ("--stop needs a time, not " + s);
        plan.changes.push_back ({ at, Kind::stop, 0.0 });
    }
    for (const auto& s : o.plays)
    {
        if (! parseTime (s, o.rate, at))
            return fail ("--play needs a time, not " + s);
        plan.changes.push_back ({ at, Kind::play, 0.0 });
    }
    for (const auto& s : o.jumps)
    {
        const auto colon = s.find (':');
        double bar = 0.0;
        if (colon == std::string::npos || ! parseTime (s.substr (0, colon), o.rate, at)
            || ! parseNumber (s.substr (colon + 1), bar) || bar < 0.0 || bar > 1.0e8)
            return fail ("--jump needs T:BAR, not " + s);
        plan.changes.push_back ({ at, Kind::jump, bar });
    }
    for (const auto& s : o.tempos)
    {
        const auto colon = s.find (':');
        double bpm = 0.0;
        if (colon == std::string::npos || ! parseTime (s.substr (0, colon), o.rate, at)
            || ! parseNumber (s.substr (colon + 1), bpm) || bpm < 1.0 || bpm > 1000.0)
            return fail ("--tempo-at needs T:BPM with a tempo from 1 to 1000, not " + s);
        plan.changes.push_back ({ at, Kind::tempo, bpm });
    }
    for (const auto& s : o.notes)
    {
        const auto parts = split (s, ':');
        int64_t note = 0, velocity = 0, length = 0;
        if (parts.size() != 4 || ! parseTime (parts[0], o.rate, at) || ! parseInt (parts[1], note, 0, 127)
            || ! parseInt (parts[2], velocity, 1, 127) || ! parseTime (parts[3], o.rate, length))
            return fail ("--note needs T:NOTE:VEL:LEN with NOTE 0..127 and VEL 1..127, not " + s);
        plan.midi.push_back ({ at, { 0x90, (uint8_t) note, (uint8_t) velocity } });
        plan.midi.push_back ({ at + std::max<int64_t> (length, 1), { 0x80, (uint8_t) note, 0 } });
    }
    for (const auto& s : o.midi)
    {
        const auto colon = s.find (':');
        std::vector<uint8_t> bytes;
        if (colon == std::string::npos || ! parseTime (s.substr (0, colon), o.rate, at) || ! parseHex (s.substr (colon + 1), bytes)
            || (bytes[0] & 0x80) == 0)
            return fail ("--midi needs T:HEXBYTES starting with a status byte, not " + s);
        plan.midi.push_back ({ at, std::move (bytes) });
    }
    for (const auto& s : o.sysex)
    {
        const auto colon = s.find (':');
        int64_t n = 0;
        if (colon == std::string::npos || ! parseTime (s.substr (0, colon), o.rate, at) || ! parseInt (s.substr (colon + 1), n, 2, 1 << 20))
            return fail ("--sysex needs T:N with N from 2 to 1048576, not " + s);
        std::vector<uint8_t> bytes ((size_t) n);
        bytes.front() = 0xf0;
        for (size_t i = 1; i + 1 < bytes.size(); ++i)
            bytes[i] = (uint8_t) (i & 0x7f);
        bytes.back() = 0xf7;
        plan.midi.push_back ({ at, std::move (bytes) });
    }
    for (const auto& s : o.sets)
    {
        const auto equals = s.find ('=');
        const auto atSign = s.find ('@', equals == std::string::npos ? 0 : equals);
        double value = 0.0;
        at = 0;
        if (equals == std::string::npos || equals == 0
            || ! parseNumber (s.substr (equals + 1, atSign == std::string::npos ? std::string::npos : atSign - equals - 1), value)
            || (atSign != std::string::npos && ! parseTime (s.substr (atSign + 1), o.rate, at)))
            return fail ("--set needs ID=VALUE or ID=VALUE@T, not " + s);
        const auto id = s.substr (0, equals);
        const auto* parameter = plugin.findParameter (id);
        if (parameter == nullptr)
            return fail ("the plug-in has no parameter " + id + " (see --list-params)");
        if (value < parameter->minimum || value > parameter->maximum)
            std::fprintf (stderr, "virl-render: warning: %s=%g is outside %g..%g\n", id.c_str(), value,
                          (double) parameter->minimum, (double) parameter->maximum);
        plan.parameters.push_back ({ at, parameter->uri, (float) value });
    }
    return true;
}

const char* typeName (vh::PortType type)
{
    switch (type)
    {
        case vh::PortType::audio: return "audio";
        case vh::PortType::control: return "control";
        case vh::PortType::atom: return "atom";
        case vh::PortType::cv: return "cv";
        case vh::PortType::unknown: break;
    }
    return "unknown";
}

void listPorts (const vh::PluginDescription& d)
{
    for (const auto& p : d.ports)
    {
        std::printf ("%3u %-7s %-6s %-14s %s", p.index, typeName (p.type), p.isInput ? "in" : "out", p.symbol.c_str(), p.name.c_str());
        if (p.type == vh::PortType::atom)
            std::printf ("  [min size %u%s%s%s]", p.minimumSize, p.supportsMidi ? ", midi" : "", p.supportsTime ? ", time" : "",
                         p.supportsPatch ? ", patch" : "");
        if (p.reportsLatency)
            std::printf ("  [latency]");
        std::printf ("\n");
    }
}

void listParameters (const vh::PluginDescription& d)
{
    for (const auto& p : d.parameters)
    {
        std::printf ("%3d %-14s %-22s %g..%g default %g", p.index, p.id.c_str(), p.label.c_str(), (double) p.minimum,
                     (double) p.maximum, (double) p.defaultValue);
        if (! p.scalePoints.empty())
        {
            std::printf (" {");
            for (size_t i = 0; i < p.scalePoints.size(); ++i)
                std::printf ("%s%g=%s", i == 0 ? "" : ", ", (double) p.scalePoints[i].value, p.scalePoints[i].label.c_str());
            std::printf ("}");
        }
        std::printf ("\n");
    }
}

bool readFile (const std::string& path, std::string& text)
{
    std::ifstream in (path, std::ios::binary);
    if (! in)
        return false;
    text.assign (std::istreambuf_iterator<char> (in), {});
    return ! in.bad();
}

bool writeFile (const std::string& path, const std::string& text)
{
    std::ofstream out (path, std::ios::binary);
    out << text;
    out.close();
    return ! out.fail();
}

/** Peak, energy and non-finite count of each of the two written channels. */
struct Meter
{
    double peak[2] = {}, energy[2] = {};
    int64_t frames = 0, nonFinite = 0;

    void add (const float* const* ch, uint32_t n)
    {
        for (int c = 0; c < 2; ++c)
            for (uint32_t i = 0; i < n; ++i)
            {
                const double x = ch[c][i];
                if (! std::isfinite (x))
                {
                    ++nonFinite;
                    continue;
                }
                peak[c] = std::max (peak[c], std::abs (x));
                energy[c] += x * x;
            }
        frames += n;
    }
};

double decibels (double x) { return x > 0.0 ? 20.0 * std::log10 (x) : -INFINITY; }

class ProgressBar
{
public:
    ProgressBar (int64_t total, bool enabled) : total (total), enabled (enabled && isatty (2)) {}
    ~ProgressBar() { finish(); }

    /** Clears the bar so the summary starts on a clean line. */
    void finish()
    {
        if (drawn)
            std::fputs ("\r\033[K", stderr);
        drawn = false;
    }

    void update (int64_t done)
    {
        const auto now = std::chrono::steady_clock::now();
        if (! enabled || now - last < std::chrono::milliseconds (100))
            return;
        last = now;
        drawn = true;
        const double f = total > 0 ? (double) done / (double) total : 1.0;
        const int width = 40, filled = (int) (f * width);
        std::fprintf (stderr, "\r[%s%s] %3d%%", std::string ((size_t) filled, '#').c_str(),
                      std::string ((size_t) (width - filled), ' ').c_str(), (int) (f * 100.0));
        std::fflush (stderr);
    }

private:
    int64_t total;
    bool enabled, drawn = false;
    std::chrono::steady_clock::time_point last {};
};

int run (Options& o)
{
    vh::World world;
    std::string error;
    if (! world.load (o.bundle, error))
        return fail (error), 1;
    auto description = world.describe (o.uri, error);
    if (! description)
        return fail (error), 1;
    if (o.listPorts || o.listParams)
    {
        if (o.listPorts)
            listPorts (*description);
        if (o.listParams)
            listParameters (*description);
        return 0;
    }

    if (o.framesText.empty())
        o.plan.frames = (int64_t) std::llround (o.seconds * o.rate);
    else if (! parseTime (o.framesText.back() == 'f' ? o.framesText : o.framesText + "f", o.rate, o.plan.frames))
        return fail ("--frames needs a number of frames"), 1;
    if (! buildEvents (o, *description))
        return 1;

    std::string restoreText;
    if (! o.restoreState.empty() && ! readFile (o.restoreState, restoreText))
        return fail ("cannot read the state file " + o.restoreState), 1;

    vh::InstanceOptions instanceOptions;
    instanceOptions.sampleRate = o.rate;
    instanceOptions.maxBlockLength = o.plan.blocks.longest();
    instanceOptions.nominalBlockLength = o.plan.blocks.mode == vh::BlockSizes::Mode::fixed ? o.plan.blocks.size : 512;
    // A DAW loading a project restores the saved state between instantiation and activation.
    instanceOptions.activate = o.restoreState.empty();
    auto instance = vh::Instance::create (world, o.uri, instanceOptions, error);
    if (instance == nullptr)
        return fail (error), 1;
    if (instance->numOutputs() < 1)
        return fail ("the plug-in has no audio output"), 1;

    if (! o.restoreState.empty())
    {
        // JUCE runs its own message thread inside the host; give its timers real time to fire first.
        std::this_thread::sleep_for (std::chrono::milliseconds (o.restoreDelayMs));
        if (! instance->restoreState (restoreText, error))
            return fail (o.restoreState + ": " + error), 1;
        instance->activate();
    }

    vh::WavWriter wav;
    if (! o.out.empty() && ! wav.open (o.out, 2, (uint32_t) std::lround (o.rate), error))
        return fail (error), 1;

    Meter meter;
    bool writeFailed = false;
    ProgressBar bar (o.plan.frames, ! o.quiet);
    const auto sink = [&] (const float* const* channels, int numChannels, uint32_t frames)
    {
        // A mono plug-in is written to both sides.
        const float* stereo[2] = { channels[0], channels[numChannels > 1 ? 1 : 0] };
        meter.add (stereo, frames);
        if (! o.out.empty() && ! wav.write (stereo, frames))
            writeFailed = true;
    };
    const auto started = std::chrono::steady_clock::now();
    const auto progress = [&] (int64_t done)
    {
        bar.update (done);
        // The plug-in's own message thread (timers, delayed actions) runs on wall-clock time.
        if (o.realtime)
            std::this_thread::sleep_until (started + std::chrono::duration<double> ((double) done / o.rate));
    };
    const bool rendered = vh::render (*instance, o.plan, sink, progress, error);
    const double wall = std::chrono::duration<double> (std::chrono::steady_clock::now() - started).count();
    bar.finish();
    if (! rendered)
        return fail (error), 1;
    if (! o.out.empty() && (! wav.close (error) || writeFailed))
        return fail (o.out + ": " + (error.empty() ? std::string ("write failed") : error)), 1;

    if (! o.saveState.empty())
    {
        const auto state = instance->saveState (error);
        if (! state)
            return fail (error), 1;
        if (! writeFile (o.saveState, *state))
            return fail ("cannot write the state file " + o.saveState), 1;
    }

    if (! o.quiet)
    {
        const double seconds = (double) meter.frames / o.rate;
        std::fprintf (stderr, "rendered %.3f s (%lld frames) in %.3f s: %.1fx real time\n", seconds,
                      (long long) meter.frames, wall, wall > 0.0 ? seconds / wall : 0.0);
        for (int c = 0; c < 2; ++c)
        {
            const double rms = meter.frames > 0 ? std::sqrt (meter.energy[c] / (double) meter.frames) : 0.0;
            std::fprintf (stderr, "%s: peak %.2f dBFS, RMS %.2f dBFS\n", c == 0 ? "left " : "right",
                          decibels (meter.peak[c]), decibels (rms));
        }
        if (meter.nonFinite > 0)
            std::fprintf (stderr, "warning: %lld samples were NaN or infinite (written as 0)\n", (long long) meter.nonFinite);
        if (const auto latency = instance->latency())
            std::fprintf (stderr, "latency: %g frames\n", (double) *latency);
    }
    return 0;
}

} // namespace

int main (int argc, char** argv)
{
    Options options;
    if (! parseArguments (argc, argv, options))
        return 2;
    return run (options);
}
