#include "plugin/HostTransport.h"

#include <cmath>

namespace vl
{

namespace
{
// Far beyond any real session (about 150 years at 300 BPM) yet safe to turn into 64-bit sixteenths.
constexpr double maxAbsPpq = 1.0e10;

juce::Optional<double> usable (juce::Optional<double> v, double limit)
{
    if (v.hasValue() && std::isfinite (*v) && std::abs (*v) <= limit)
        return v;
    return {};
}

// Hosts that send frame or bar but no beat (jalv, Ardour) still mean a position; JUCE only
// turns time:beat into a quarter-note position, so the rest is derived here.
juce::Optional<double> derivedPpq (const juce::AudioPlayHead::PositionInfo& info, juce::Optional<double> bpm,
                                   double sampleRate)
{
    if (! bpm.hasValue())
        return {};
    if (const auto frames = info.getTimeInSamples(); frames.hasValue() && sampleRate > 0.0)
        return usable ((double) *frames * *bpm / 60.0 / sampleRate, maxAbsPpq);
    if (const auto barCount = info.getBarCount(); barCount.hasValue())
    {
        const auto sig = info.getTimeSignature().orFallback (juce::AudioPlayHead::TimeSignature {});
        const double quartersPerBar = sig.denominator > 0 ? sig.numerator * 4.0 / sig.denominator : 4.0;
        return usable ((double) *barCount * quartersPerBar, maxAbsPpq);
    }
    return {};
}
} // namespace

BlockTransport resolveTransport (const juce::Optional<juce::AudioPlayHead::PositionInfo>& position,
                                 HostTransport& host, double lastPpq, double sampleRate)
{
    if (position.hasValue())
    {
        const auto bpm = usable (position->getBpm(), 1.0e6);
        auto ppq = usable (position->getPpqPosition(), maxAbsPpq);
        if (! ppq.hasValue())
            ppq = derivedPpq (*position, bpm, sampleRate);

        if (bpm.hasValue() || ppq.hasValue())
        {
            host.heard = true;
            host.playing = position->getIsPlaying();
            host.bpm = juce::jlimit (minBpm, maxBpm, bpm.orFallback (freeRunBpm));
            return { host.bpm, ppq.orFallback (lastPpq), host.playing };
        }
    }

    if (host.heard)
        return { host.bpm, lastPpq, host.playing };

    return { freeRunBpm, lastPpq, true };
}

} // namespace vl
