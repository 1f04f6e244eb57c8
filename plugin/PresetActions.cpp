// Presets, the dice and undo: parameter changes the user asks for, each undoable, with a new variant to match.
#include "plugin/VirlProcessor.h"

#include "plugin/Presets.h"
#include "plugin/Randomise.h"

namespace
{
constexpr int presetVariantDelayMs = 60;
constexpr size_t undoDepth = 24;

void setToValue (juce::RangedAudioParameter& param, float value)
{
    param.beginChangeGesture();
    param.setValueNotifyingHost (param.convertTo0to1 (param.getNormalisableRange().snapToLegalValue (value)));
    param.endChangeGesture();
}
} // namespace

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
