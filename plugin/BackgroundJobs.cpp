// The 100 ms timer decides; the one-thread pool does the slow work: radio chops and ghost refreshes.
#include "plugin/VirlProcessor.h"

#include "material/Chop.h"
#include "material/MergeImport.h"
#include "plugin/AudioFileReading.h"
#include "plugin/GrooveExtraction.h"
#include "plugin/RingLayout.h"

namespace
{
constexpr juce::uint32 ghostRefreshMs = 8000;
constexpr double ownOutputSeconds = 30.0;
constexpr int minimumGhostFrames = 4096;
constexpr int ghostChips = 48;
constexpr double egenMaxSeconds = 40.0; // a loop, not a song: the first bars are enough

// Shared by every instance in the process: "BÅDA" alternates ring and own output across them.
std::atomic<int> toggle { 0 };

float rawValue (const juce::AudioProcessorValueTreeState& tree, const char* id)
{
    const auto* raw = tree.getRawParameterValue (id);
    return raw != nullptr ? raw->load() : 0.0f;
}
} // namespace

void VirlProcessor::queueJob (std::function<void()> job)
{
    std::weak_ptr<int> alive = aliveToken;
    pool.addJob ([alive, job = std::move (job)] {
        if (const auto token = alive.lock())
            job();
    });
}

void VirlProcessor::timerCallback()
{
    backgroundTick (juce::Time::getMillisecondCounter());
}

void VirlProcessor::backgroundTick (juce::uint32 now)
{
    {
        const juce::ScopedLock lock (bankLock);
        vl::releaseRetired (retiredBanks, now);
    }

    if (! engine.playing.load())
        return;

    queueRadioIfDue();

    if (now - lastRefreshMs > ghostRefreshMs)
    {
        lastRefreshMs = now;
        queueJob ([this] { refreshSpoke(); });
    }
}

void VirlProcessor::queueRadioIfDue()
{
    if (rawValue (apvts, "radio") <= 0.5f || radioBusy.load() != 0)
        return;
    {
        const juce::ScopedLock lock (sourceLock);
        if (library.isEmpty())
            return;
    }

    const int bars = vl::radioBars[(size_t) juce::jlimit (0, 3, (int) rawValue (apvts, "radiotakt"))];
    const auto bar = engine.bar.load();
    juce::int64 elapsed = 0;
    if (lastRadioBar < 0 || lastRadioBar > bar)
        lastRadioBar = bar;
    else
        elapsed = bar - lastRadioBar;
    if (elapsed < bars)
        return;

    lastRadioBar = bar;
    juce::File file;
    {
        const juce::ScopedLock lock (sourceLock);
        if (library.isEmpty())
            return;
        file = juce::File (library[random.nextInt (library.size())]);
    }
    ++radioBusy;
    queueJob ([this, file] {
        chopIntoBank (file, vl::importMaxChips, vl::importMaxSeconds);
        --radioBusy;
    });
}

bool VirlProcessor::readOwnOutput (std::vector<float>& left, std::vector<float>& right, double& sampleRate)
{
    const juce::ScopedLock lock (recorderReadLock);
    const auto& recorder = engine.recorder;
    const auto capacity = recorder.capacity();
    const auto written = recorder.writePos();
    sampleRate = recorder.sampleRate();
    if (capacity == 0 || sampleRate <= 0.0)
        return false;

    const auto window = (std::uint64_t) (ownOutputSeconds * sampleRate);
    std::uint64_t start = written > window ? written - window : 0;
    if (written > capacity)
        start = std::max (start, written - capacity);

    const auto audio = recorder.audio();
    left.resize ((size_t) (written - start));
    right.resize ((size_t) (written - start));
    for (auto f = start; f < written; ++f)
    {
        const auto slot = (size_t) (f % capacity) * 2;
        left[(size_t) (f - start)] = audio[slot] / 32767.0f;
        right[(size_t) (f - start)] = audio[slot + 1] / 32767.0f;
    }
    return true;
}

void VirlProcessor::openRing()
{
    if (ring != nullptr)
        return;
    const auto home = juce::File::getSpecialLocation (juce::File::userHomeDirectory).getFullPathName().toStdString();
    const auto path = vl::ringFilePath (home);
    if (! vl::prepareRingFile (path))
        return;
    auto mapped = std::make_unique<juce::MemoryMappedFile> (juce::File (path.string()), juce::MemoryMappedFile::readWrite, false);
    if (mapped->getData() == nullptr || mapped->getSize() < vl::ringFileBytes)
        return;
    vl::stampRing ({ static_cast<std::byte*> (mapped->getData()), vl::ringFileBytes });
    ring = std::move (mapped);
}

bool VirlProcessor::isRingLive() const
{
    if (ring == nullptr)
        return false;
    const std::span<const std::byte> bytes (static_cast<const std::byte*> (ring->getData()), vl::ringFileBytes);
    return vl::isRingChannelLive (bytes, vl::ringChannelFor (rawValue (apvts, "ringlakanal")),
                                  vl::ringNowMs());
}

bool VirlProcessor::readRing (std::vector<float>& left, std::vector<float>& right)
{
    if (! isRingLive())
        return false;
    const std::span<const std::byte> bytes (static_cast<const std::byte*> (ring->getData()), vl::ringFileBytes);
    left.resize (vl::ringReadFrames);
    right.resize (vl::ringReadFrames);
    const auto n = vl::readRingChannel (bytes, vl::ringChannelFor (rawValue (apvts, "ringlakanal")), left, right);
    left.resize (n);
    right.resize (n);
    return true;
}

void VirlProcessor::extractGrooveFrom (const juce::File& loop, std::function<void (bool)> onDone)
{
    std::weak_ptr<int> alive = aliveToken;
    queueJob ([this, loop, alive, onDone] {
        juce::AudioBuffer<float> audio;
        double sampleRate = 0.0;
        std::optional<std::array<float, 48>> groove;
        if (vl::readAudioFile (loop, egenMaxSeconds, audio, sampleRate) && audio.getNumSamples() > 0)
        {
            audio.addFrom (0, 0, audio, 1, 0, audio.getNumSamples());
            audio.applyGain (0, 0, audio.getNumSamples(), 0.5f);
            groove = vl::extractGroove (audio.getReadPointer (0), audio.getNumSamples(), sampleRate);
        }
        juce::MessageManager::callAsync ([this, alive, groove, onDone] {
            if (alive.lock() == nullptr)
                return;
            if (groove)
                takeGroove (groove);
            if (onDone)
                onDone (groove.has_value());
        });
    });
}

void VirlProcessor::refreshSpoke()
{
    const int source = (int) rawValue (apvts, "spokekalla");
    bool useRing = source == 1;
    if (source == 2)
        useRing = (++toggle % 2) == 1;

    std::vector<float> left, right;
    double sampleRate = 48000.0;
    if (! (useRing && readRing (left, right)))
        if (! readOwnOutput (left, right, sampleRate))
            return;
    if ((int) left.size() < minimumGhostFrames)
        return;

    const auto chips = vl::chop (left.data(), right.data(), (int) left.size(), sampleRate, ghostChips,
                                 juce::Time::getMillisecondCounter(), vl::ghostBox);
    if (chips.empty())
        return;

    vl::Box box (chips.begin(), chips.end());
    installBank (vl::replaceGhostBox (currentBankCopy().get(), std::move (box)));
}
