#include "plugin/VirlProcessor.h"

#include "editor/VirlEditor.h"
#include "material/Factory.h"
#include "plugin/Chunking.h"
#include "plugin/Parameters.h"

#include <algorithm>
#include <thread>

namespace
{
constexpr int poolDrainMs = 4000;
constexpr int monoPiece = 2048;
} // namespace

VirlProcessor::VirlProcessor()
    : AudioProcessor (BusesProperties().withOutput ("Output", juce::AudioChannelSet::stereo(), true)),
      apvts (*this, nullptr, "VIRL", vl::createLayout()),
      pool (juce::ThreadPoolOptions {}.withThreadName ("Pool").withNumberOfThreads (1)),
      aliveToken (std::make_shared<int> (0))
{
    random.setSeedRandomly();
    paramCache.init (apvts);
    installBank (vl::factory::build (vl::factory::defaultSeed));
    setLatencySamples (latencySamples);
    openRing();
    applyPreset (0);
    undoStack.clear();
    startTimer (100);
}

VirlProcessor::~VirlProcessor()
{
    stopTimer();

    // A delayed action or job that already holds the token finishes before the members it uses go.
    std::weak_ptr<int> watcher = aliveToken;
    aliveToken.reset();
    for (int waited = 0; ! watcher.expired() && waited < poolDrainMs; ++waited)
        std::this_thread::sleep_for (std::chrono::milliseconds (1));

    pool.removeAllJobs (true, poolDrainMs);
    ring.reset();
}

bool VirlProcessor::isBusesLayoutSupported (const BusesLayout& layouts) const
{
    const auto out = layouts.getMainOutputChannelSet();
    return out == juce::AudioChannelSet::stereo() || out == juce::AudioChannelSet::mono();
}

juce::AudioProcessorEditor* VirlProcessor::createEditor()
{
    return new VirlEditor (*this);
}

void VirlProcessor::prepareToPlay (double sampleRate, int)
{
    int guldIndex = 1;
    if (const auto* raw = apvts.getRawParameterValue ("guldmin"))
        guldIndex = std::clamp ((int) raw->load(), 0, 2);
    {
        // A ghost job copying the recorder must not see its rings resized underneath it.
        const juce::ScopedLock lock (recorderReadLock);
        engine.prepare (sampleRate, vl::guldMinutes[(size_t) guldIndex]);
    }
    if (const auto groove = heldGroove())
        takeGroove (groove);
    setLatencySamples (latencySamples);
}

void VirlProcessor::readMidi (const juce::MidiBuffer& midi)
{
    // Raw bytes only: turning a long sysex into a MidiMessage would allocate.
    for (const auto metadata : midi)
    {
        if (metadata.numBytes < 3)
            continue;
        const auto* d = metadata.data;
        const int status = d[0] & 0xf0;
        if (status == 0x90 && d[2] > 0)
            heldNotes.press (d[1]);
        else if (status == 0x80 || status == 0x90)
            heldNotes.release (d[1]);
        else if (status == 0xb0 && (d[1] == 123 || d[1] == 120))
            heldNotes.releaseAll();
    }
    engine.midiNote.exchange (heldNotes.lowest());
}

void VirlProcessor::renderBlock (float* left, float* right, int n, const vl::BlockTransport& transport,
                                 int offsetFrames)
{
    const double rate = engine.sampleRate();
    const double ppq = transport.ppq + offsetFrames * transport.bpm / 60.0 / rate;
    vl::forEachChunk (n, vl::Engine::maxChunk, ppq, transport.bpm, rate, [&] (int start, int frames, double chunkPpq) {
        engine.processChunk (engineParams, transport.bpm, chunkPpq, transport.playing, left + start, right + start,
                             frames);
    });
}

void VirlProcessor::processBlock (juce::AudioBuffer<float>& buffer, juce::MidiBuffer& midi)
{
    const juce::ScopedNoDenormals noDenormals;
    const int n = buffer.getNumSamples();
    if (n == 0)
        return;

    const auto* head = getPlayHead();
    const auto position = head != nullptr ? head->getPosition() : juce::Optional<juce::AudioPlayHead::PositionInfo> {};
    const auto transport = vl::resolveTransport (position, hostTransport, lastPpq, engine.sampleRate());

    readMidi (midi);
    midi.clear();

    vl::readParams (paramCache, engineParams);
    buffer.clear();

    if (buffer.getNumChannels() >= 2)
    {
        renderBlock (buffer.getWritePointer (0), buffer.getWritePointer (1), n, transport, 0);
    }
    else if (buffer.getNumChannels() == 1)
    {
        float scratch[monoPiece];
        auto* mono = buffer.getWritePointer (0);
        for (int start = 0; start < n; start += monoPiece)
        {
            const int m = std::min (monoPiece, n - start);
            renderBlock (mono + start, scratch, m, transport, start);
            for (int i = 0; i < m; ++i)
                mono[start + i] = (mono[start + i] + scratch[i]) * 0.5f;
        }
    }

    // A host that told us it stopped keeps its position; everything else moves on with the frames rendered.
    const bool frozen = hostTransport.heard && ! transport.playing && ! position.hasValue();
    lastPpq = frozen ? transport.ppq : transport.ppq + n * transport.bpm / 60.0 / engine.sampleRate();
}

bool VirlProcessor::postToEngine (vl::Command command)
{
    return engine.post (command);
}

juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    return new VirlProcessor();
}
