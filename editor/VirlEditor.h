// The plug-in window. It shows the product and the engine's bar counter until the full editor lands.
#pragma once

#include <juce_audio_processors/juce_audio_processors.h>

class VirlProcessor;

class VirlEditor : public juce::AudioProcessorEditor, private juce::Timer
{
public:
    explicit VirlEditor (VirlProcessor& processor);

    void paint (juce::Graphics& g) override;

private:
    void timerCallback() override;

    VirlProcessor& virl;
    juce::int64 shownBar = -1;
};
