#include "editor/VirlEditor.h"

#include "plugin/VirlProcessor.h"

VirlEditor::VirlEditor (VirlProcessor& processor) : AudioProcessorEditor (processor), virl (processor)
{
    setSize (1000, 640); // the design size the full editor scales from
    startTimer (33);
}

void VirlEditor::paint (juce::Graphics& g)
{
    g.fillAll (juce::Colour (0xff141311));
    g.setColour (juce::Colour (0xffe8dcc0));
    g.setFont (juce::FontOptions (64.0f, juce::Font::bold));
    g.drawText ("VIRL", getLocalBounds().reduced (40).removeFromTop (200), juce::Justification::centred);
    g.setFont (juce::FontOptions (20.0f));
    g.drawText ("TAKT " + juce::String (shownBar + 1), getLocalBounds().reduced (40).removeFromBottom (100),
                juce::Justification::centred);
}

void VirlEditor::timerCallback()
{
    virl.getEngine().readView ([this] (const vl::View& view) {
        if (view.bar != shownBar)
        {
            shownBar = view.bar;
            repaint();
        }
    });
}
