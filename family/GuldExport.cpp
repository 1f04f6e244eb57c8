#include "family/GuldExport.h"

#include <juce_audio_basics/juce_audio_basics.h>
#include <juce_audio_formats/juce_audio_formats.h>

namespace gv
{

namespace
{
constexpr int ticksPerQuarter = 960;
constexpr double ticksPerSixteenth = 240.0;
constexpr int wavBlock = 2048;

// XDG_MUSIC_DIR="$HOME/Music" in ~/.config/user-dirs.dirs, as the desktop's own dialogs read it.
juce::File musicFolder()
{
    const auto home = juce::File::getSpecialLocation (juce::File::userHomeDirectory);
    const auto dirs = home.getChildFile (".config/user-dirs.dirs");
    juce::StringArray lines;
    if (dirs.existsAsFile())
        dirs.readLines (lines);
    for (const auto& line : lines)
    {
        const auto trimmed = line.trim();
        if (! trimmed.startsWith ("XDG_MUSIC_DIR="))
            continue;
        auto value = trimmed.fromFirstOccurrenceOf ("=", false, false).unquoted();
        value = value.replace ("$HOME", home.getFullPathName());
        if (juce::File::isAbsolutePath (value))
            return juce::File (value);
    }
    return home.getChildFile ("Music");
}

struct Window
{
    std::uint64_t from, to;
};

Window clampToRecording (const GuldRecorder& recorder, std::uint64_t start, std::uint64_t end)
{
    const auto written = recorder.writePos();
    const auto capacity = recorder.capacity();
    std::uint64_t from = start;
    if (written > capacity)
        from = std::max (from, written - capacity);
    return { from, std::min (end, written) };
}

// A meta event from its raw bytes: FF, type, length (variable-length), data.
juce::MidiMessage meta (int type, const void* data, int size)
{
    juce::MemoryBlock bytes;
    bytes.append ("\xff", 1);
    const auto typeByte = (juce::uint8) type;
    bytes.append (&typeByte, 1);
    juce::uint8 length[4];
    int n = 0;
    for (auto v = (juce::uint32) size;; v >>= 7)
    {
        length[n++] = (juce::uint8) (v & 0x7f);
        if (v < 0x80)
            break;
    }
    for (int i = n - 1; i >= 0; --i)
    {
        const auto b = (juce::uint8) (length[i] | (i > 0 ? 0x80 : 0));
        bytes.append (&b, 1);
    }
    bytes.append (data, (size_t) size);
    return juce::MidiMessage (bytes.getData(), (int) bytes.getSize());
}
} // namespace

juce::File guldFolder (const juce::String& productName)
{
    return musicFolder().getChildFile ("Trevlor").getChildFile (productName + " GULD");
}

juce::File exportFile (const ExportRequest& request, const char* extension)
{
    return request.folder.getChildFile (request.productName + " GULD " + request.when.formatted ("%Y-%m-%d %H.%M.%S")
                                        + extension);
}

juce::File exportWav (const GuldRecorder& recorder, const ExportRequest& request)
{
    const auto capacity = recorder.capacity();
    const auto [from, to] = clampToRecording (recorder, request.start, request.end);
    if (capacity == 0 || from >= to)
        return {};

    const auto frames = (int) std::min<std::uint64_t> (to - from, (std::uint64_t) std::numeric_limits<int>::max());
    juce::AudioBuffer<float> audio (2, frames);
    const auto ring = recorder.audio();
    for (int i = 0; i < frames; ++i)
    {
        const auto slot = (size_t) ((from + (std::uint64_t) i) % capacity) * 2;
        audio.setSample (0, i, ring[slot] / 32767.0f);
        audio.setSample (1, i, ring[slot + 1] / 32767.0f);
    }

    if (! request.folder.createDirectory())
        return {};
    const auto file = exportFile (request, ".wav");
    file.deleteFile();
    auto stream = std::make_unique<juce::FileOutputStream> (file, 32768);
    if (! stream->openedOk())
        return {};

    juce::WavAudioFormat wav;
    std::unique_ptr<juce::AudioFormatWriter> writer (
        wav.createWriterFor (stream.get(), recorder.sampleRate(), 2, 24, {}, 0));
    if (writer == nullptr)
        return {};
    stream.release(); // the writer owns it now

    bool ok = true;
    for (int pos = 0; pos < frames && ok; pos += wavBlock)
        ok = writer->writeFromAudioSampleBuffer (audio, pos, std::min (wavBlock, frames - pos));
    writer.reset();
    return ok ? file : juce::File();
}

juce::File exportMidi (const GuldRecorder& recorder, const ExportRequest& request,
                       const std::function<juce::String (int)>& laneName, int laneCount)
{
    const auto count = recorder.eventCount();
    const auto events = recorder.events();
    if (events.empty())
        return {};
    const auto first = count > events.size() ? count - events.size() : 0;

    const double bpm = recorder.bpm.load();
    const double ticksPerFrame = ticksPerQuarter * bpm / 60.0 / recorder.sampleRate();

    juce::MidiFile midi;
    midi.setTicksPerQuarterNote (ticksPerQuarter);

    juce::MidiMessageSequence tempoTrack;
    const auto micros = (juce::uint32) (60000000.0 / bpm);
    const juce::uint8 tempo[] = { (juce::uint8) (micros >> 16), (juce::uint8) (micros >> 8), (juce::uint8) micros };
    const juce::uint8 signature[] = { 4, 2, 1, 0x60 };
    tempoTrack.addEvent (meta (0x51, tempo, 3), 0.0);
    tempoTrack.addEvent (meta (0x58, signature, 4), 0.0);
    midi.addTrack (tempoTrack);

    int notes = 0;
    for (int lane = 0; lane < laneCount; ++lane)
    {
        juce::MidiMessageSequence track;
        const auto name = laneName (lane).toStdString();
        track.addEvent (meta (0x03, name.data(), (int) name.size()), 0.0);
        for (auto k = first; k < count; ++k)
        {
            const auto& e = events[(size_t) (k % events.size())];
            if (e.lane != lane || e.position < request.start || e.position >= request.end)
                continue;
            const double on = (double) (e.position - request.start) * ticksPerFrame;
            const double length = std::max (30.0, e.length * ticksPerSixteenth * 0.9);
            const int channel = lane % 16 + 1;
            track.addEvent (juce::MidiMessage::noteOn (channel, e.note & 0x7f, (juce::uint8) std::min<int> (127, e.velocity)), on);
            track.addEvent (juce::MidiMessage::noteOff (channel, e.note & 0x7f, (juce::uint8) 0), on + length);
            ++notes;
        }
        track.updateMatchedPairs();
        midi.addTrack (track);
    }
    if (notes == 0)
        return {};

    if (! request.folder.createDirectory())
        return {};
    const auto file = exportFile (request, ".mid");
    file.deleteFile();
    juce::FileOutputStream stream (file, 16384);
    if (! stream.openedOk() || ! midi.writeTo (stream, 1))
        return {};
    stream.flush();
    return stream.getStatus().wasOk() ? file : juce::File();
}

juce::String savedMessage (const juce::File& file)
{
    return "Sparad: " + file.getFileName();
}

void revealSaved (const juce::File& file)
{
    if (file.isDirectory())
        file.startAsProcess();
    else if (file.getParentDirectory().exists())
        file.getParentDirectory().startAsProcess();
}

} // namespace gv
