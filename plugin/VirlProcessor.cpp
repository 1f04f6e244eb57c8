#include "plugin/VirlProcessor.h"

#include "editor/VirlEditor.h"
#include "material/Factory.h"
#include "plugin/Chunking.h"
#include "plugin/Parameters.h"
#include "plugin/Presets.h"
#include "plugin/Randomise.h"
#include "plugin/StateBlob.h"

#include <algorithm>
#include <thread>

namespace
{
constexpr int poolDrainMs = 4000;
constexpr int presetVariantDelayMs = 60;
constexpr size_t undoDepth = 24;
constexpr int monoPiece = 2048;

void setToValue (juce::RangedAudioParameter& param, float value)
{
    param.beginChangeGesture();
    param.setValueNotifyingHost (param.convertTo0to1 (param.getNormalisableRange().snapToLegalValue (value)));
    param.endChangeGesture();
}
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

void VirlProcessor::takeGroove (const std::optional<std::array<float, 48>>& groove)
{
    const juce::ScopedLock lock (egenLock);
    egenValid = groove.has_value();
    egenDna = groove.value_or (std::array<float, 48> {});
    engine.setCustomDna (egenDna);
}

std::optional<std::array<float, 48>> VirlProcessor::heldGroove() const
{
    const juce::ScopedLock lock (egenLock);
    return egenValid ? std::optional (egenDna) : std::nullopt;
}

bool VirlProcessor::hasCustomGroove() const
{
    const juce::ScopedLock lock (egenLock);
    return egenValid;
}

bool VirlProcessor::postToEngine (vl::Command command)
{
    return engine.post (command);
}

void VirlProcessor::applyPreset (int index)
{
    const auto& list = vl::presets();
    if (index < 0 || index >= (int) list.size())
        return;
    const auto& preset = list[(size_t) index];

    pushUndoSnapshot();

    for (auto* p : getParameters())
    {
        auto* param = dynamic_cast<juce::RangedAudioParameter*> (p);
        if (param == nullptr)
            continue;
        if (std::find (vl::keep.begin(), vl::keep.end(), param->paramID) != vl::keep.end())
            continue;
        param->beginChangeGesture();
        param->setValueNotifyingHost (param->getDefaultValue());
        param->endChangeGesture();
    }
    setValues (preset.values);

    currentPreset.exchange (index);

    std::weak_ptr<int> alive = aliveToken;
    const auto generation = presetGeneration.load();
    const auto seed = preset.seed;
    juce::Timer::callAfterDelay (presetVariantDelayMs, [this, alive, generation, seed] {
        const auto token = alive.lock();
        if (token == nullptr || presetGeneration.load() != generation)
            return;
        postToEngine ({ vl::NextAll, 0, (std::int32_t) seed, 0 });
    });
}

void VirlProcessor::pushUndoSnapshot()
{
    undoStack.push_back (apvts.copyState());
    if (undoStack.size() > undoDepth)
        undoStack.erase (undoStack.begin(), undoStack.begin() + (std::ptrdiff_t) (undoStack.size() - undoDepth));
}

void VirlProcessor::setValues (const std::vector<std::pair<juce::String, float>>& values)
{
    for (const auto& [id, value] : values)
        if (auto* param = apvts.getParameter (id))
            setToValue (*param, value);
}

void VirlProcessor::randomiseAll()
{
    pushUndoSnapshot();
    setValues (vl::randomAllValues (random, hasCustomGroove()));
    postToEngine ({ vl::NextAll, 0, random.nextInt(), 0 });
}

void VirlProcessor::randomiseLane (int lane)
{
    if (lane < 0 || lane >= vl::numLanes)
        return;
    pushUndoSnapshot();
    setValues (vl::randomLaneValues (lane, random));
    postToEngine ({ vl::NextLane, lane, random.nextInt(), 0 }); // "ett nytt mönster"; KICK keeps its own
}

bool VirlProcessor::undo()
{
    if (undoStack.empty())
        return false;
    const auto snapshot = undoStack.back();
    undoStack.pop_back();
    for (const auto& child : snapshot)
        if (auto* param = apvts.getParameter (child.getProperty ("id").toString()))
            setToValue (*param, (float) child.getProperty ("value"));
    return true;
}

void VirlProcessor::getStateInformation (juce::MemoryBlock& destination)
{
    auto state = apvts.copyState();
    state.setProperty ("preset", currentPreset.load(), nullptr);
    {
        const juce::ScopedLock lock (sourceLock);
        state.setProperty ("bibliotek", library.joinIntoString ("\n"), nullptr);
    }
    state.setProperty ("rulle", vl::encodeRoll (engine.publishedRoll()), nullptr);
    if (const auto groove = heldGroove())
        state.setProperty ("egen", vl::encodeEgen (*groove), nullptr);

    if (const auto xml = state.createXml())
        copyXmlToBinary (*xml, destination);
}

void VirlProcessor::setStateInformation (const void* data, int sizeInBytes)
{
    if (data == nullptr || sizeInBytes <= 0)
        return;
    const auto xml = getXmlFromBinary (data, sizeInBytes);
    if (xml == nullptr || ! xml->hasTagName ("VIRL"))
        return;

    // Whatever the restored state holds supersedes a preset variant still waiting to be posted.
    ++presetGeneration;

    auto tree = juce::ValueTree::fromXml (*xml);
    const auto preset = tree.getProperty ("preset");
    const auto bibliotek = tree.getProperty ("bibliotek");
    const auto rulle = tree.getProperty ("rulle");
    const auto egen = tree.getProperty ("egen");
    for (const auto* attribute : { "preset", "bibliotek", "rulle", "egen" })
        tree.removeProperty (attribute, nullptr);
    vl::dropUnusableValues (tree);
    apvts.replaceState (tree);

    if (! preset.isVoid())
        currentPreset.exchange (std::clamp ((int) preset, -1, (int) vl::presets().size() - 1));

    if (! bibliotek.isVoid())
    {
        const juce::ScopedLock lock (sourceLock);
        library = juce::StringArray::fromTokens (bibliotek.toString(), "\n", {});
        library.removeEmptyStrings();
    }

    if (const auto roll = vl::decodeRoll (rulle.toString()))
    {
        engine.setRestoreSnapshot (*roll);
        engine.post ({ vl::RestoreRoll, 0, 0, 0 });
    }

    // A project without its own groove does not inherit the one this instance happened to hold.
    takeGroove (vl::decodeEgen (egen.toString()));
}

juce::AudioProcessor* JUCE_CALLTYPE createPluginFilter()
{
    return new VirlProcessor();
}
