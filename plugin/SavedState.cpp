// What a host project keeps of an instance: parameters, the chosen preset, the library, the roll and EGEN.
#include "plugin/VirlProcessor.h"

#include "plugin/Presets.h"
#include "plugin/StateBlob.h"

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
