// Turning a stretch of the GULD recording into files: a 24-bit WAV, or a MIDI file with a track per lane.
#pragma once

#include "family/GuldRecorder.h"

#include <juce_core/juce_core.h>

#include <functional>

namespace gv
{

struct ExportRequest
{
    std::uint64_t start = 0;      // recorder positions, start < end
    std::uint64_t end = 0;
    juce::String productName = "VIRL";
    juce::File folder;            // where the file goes; guldFolder() for the user's music folder
    juce::Time when = juce::Time::getCurrentTime();
};

// ~/Music (or XDG_MUSIC_DIR from the user's dirs file) / Trevlor / <product> GULD.
juce::File guldFolder (const juce::String& productName);

// "<product> GULD 2026-12-10 00.06.37.wav": the same second gives the same name, so it overwrites.
juce::File exportFile (const ExportRequest& request, const char* extension);

// Message thread. The written file, or File() when nothing was written.
juce::File exportWav (const GuldRecorder& recorder, const ExportRequest& request);

// Message thread. laneName(i) names track i + 1. File() when the selection holds no hit.
juce::File exportMidi (const GuldRecorder& recorder, const ExportRequest& request,
                       const std::function<juce::String (int)>& laneName, int laneCount = 8);

// "Sparad: " and the file's name, for the editor's status line (translated on display).
juce::String savedMessage (const juce::File& file);

// Opens the saved file's folder in the desktop's file manager.
void revealSaved (const juce::File& file);

} // namespace gv
