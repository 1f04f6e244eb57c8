// EGEN: the groove DNA of the user's own drum loop — micro-timing, accent and ghosts per sixteenth.
#pragma once

#include <array>
#include <optional>

namespace vl
{

// The 48 floats in the value layout of gv::Dna: timing[16] (sixteenths, positive = late, within
// ±0.45, step 0 = 0), accent[16] (0..1, the loudest step 1.0), ghost[16] (0..1, the share of the
// loop's bars in which the step carries a quiet hit).
//
// The loop is taken to start on a downbeat and to be a whole number of 4/4 bars at 70..180 BPM;
// a clip whose length does not fit still works when its hits show the pulse. Steps the loop never
// plays borrow timing and accent from the steps at the same place in other beats.
//
// Nothing when there is no clear pulse (silence, noise, a drone, scattered hits) or less than
// 1 s of audio, so the caller keeps its previous groove. Allocates; for a background thread.
std::optional<std::array<float, 48>> extractGroove (const float* mono, int frames, double sampleRate);

} // namespace vl
