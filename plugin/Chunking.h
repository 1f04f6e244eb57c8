// How one host block is cut into engine chunks and where each chunk sits on the timeline.
#pragma once

#include <algorithm>

namespace vl
{

// Calls render (chunkStart, frames, ppq) for chunks of at most maxChunk frames. The position of a
// chunk is the block position advanced by the quarter notes its preceding frames cover at the
// block's tempo; tempo and playing are constant within a block.
template <typename Render>
void forEachChunk (int frames, int maxChunk, double blockPpq, double bpm, double sampleRate, Render&& render)
{
    const double quartersPerFrame = bpm / 60.0 / sampleRate;
    for (int pos = 0; pos < frames; pos += maxChunk)
        render (pos, std::min (maxChunk, frames - pos), blockPpq + pos * quartersPerFrame);
}

} // namespace vl
