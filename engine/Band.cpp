// BAND: the high end is lifted before the soft clip and lowered after it, so the drive bites
// the treble first, as tape does; a one-pole at 15 kHz then takes the edge off.
#include "engine/Band.h"

#include "engine/MasterFilters.h"
#include "engine/SoftClip.h"

namespace vl
{

void Band::prepare (double sampleRate)
{
    sideLeft = {};
    sideRight = {};
    emphasisCoefficient = master::onePoleCoefficient (sampleRate, 3000.0);
    deEmphasisCoefficient = master::onePoleCoefficient (sampleRate, 3000.0);
    rollOffCoefficient = master::onePoleCoefficient (sampleRate, 15000.0);
}

void Band::process (float* left, float* right, int n, float amount)
{
    if (amount <= 0.0001f)
        return;

    // Emphasis adds half the band's treble (input minus its 3 kHz low-pass); the drive rises to
    // 3.5× at full BAND and the make-up divides most of it back out.
    const float lift = 0.5f * amount;
    const float push = 1.0f + 2.5f * amount;
    const float makeUp = 1.0f / (1.0f + 1.2f * amount);
    const float cut = 0.33f * amount;
    const float soften = 0.5f * amount;
    const float emK = emphasisCoefficient;
    const float deK = deEmphasisCoefficient;
    const float roK = rollOffCoefficient;

    const auto drive = [&] (float in, Side& s) {
        s.emphasis += (in - s.emphasis) * emK;
        float y = softClip ((in + lift * (in - s.emphasis)) * push) * makeUp;
        s.deEmphasis += (y - s.deEmphasis) * deK;
        y -= cut * (y - s.deEmphasis);
        s.rollOff += (y - s.rollOff) * roK;
        return y + soften * (s.rollOff - y);
    };

    // Both sides in one loop: their filter chains are independent and overlap in the pipeline.
    Side l = sideLeft;
    Side r = sideRight;
    for (int k = 0; k < n; ++k)
    {
        left[k] = drive (left[k], l);
        right[k] = drive (right[k], r);
    }
    sideLeft = l;
    sideRight = r;
}

} // namespace vl
