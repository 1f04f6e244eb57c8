// Chip playback: a tight loop for the steady middle of a note, one careful step for its edges.
#include "engine/ChipVoice.h"

#include <algorithm>

namespace vl
{

namespace
{
// The frame pair to read at position p (frames i and i + 1); false once p has left the chip.
// Backwards the voice starts exactly on the last frame, which is read as the far end of the
// last pair rather than as a pair of its own.
template <bool backwards>
inline bool framePair (double p, int last, int& i) noexcept
{
    if constexpr (backwards)
    {
        if (p < 0.0)
            return false;
        i = std::min ((int) p, last - 1);
        return i >= 0;
    }
    else
    {
        i = (int) p; // forwards p starts at 0 and only grows
        return i < last;
    }
}

template <bool backwards>
void play (ChipVoice& v, float* left, float* right, int n) noexcept
{
    const float* chipLeft = v.chip->left.data();
    const float* chipRight = v.chip->right.data();
    const int last = v.chip->frames() - 1;
    const double step = backwards ? -v.rate : v.rate;
    const float gain = v.gain, leftGain = v.leftGain, rightGain = v.rightGain;

    double pos = v.position;
    int gate = v.gate, fade = v.fade, age = v.age;
    bool fading = v.fading;
    bool alive = true;

    int s = 0;
    while (s < n)
    {
        if (! fading && age >= ChipVoice::attackSamples && gate != 1)
        {
            // Steady stretch: the gain holds until the gate is about to run out.
            const int m = gate > 1 ? std::min (n - s, gate - 1) : n - s;
            int k = 0;
            for (; k < m; ++k)
            {
                int i;
                if (! framePair<backwards> (pos, last, i))
                {
                    alive = false;
                    break;
                }
                const float t = (float) (pos - i);
                const float l = chipLeft[i] + (chipLeft[i + 1] - chipLeft[i]) * t;
                const float r = chipRight[i] + (chipRight[i + 1] - chipRight[i]) * t;
                left[s + k] += l * gain * leftGain;
                right[s + k] += r * gain * rightGain;
                pos += step;
            }
            age += k;
            if (gate > 1)
                gate -= k;
            s += k;
            if (! alive)
                break;
            continue;
        }

        int i;
        if (! framePair<backwards> (pos, last, i))
        {
            alive = false;
            break;
        }
        float g = gain;
        if (fading)
        {
            const int f = fade--;
            if (f <= 1)
            {
                alive = false;
                break;
            }
            g *= (float) f / (float) ChipVoice::fadeSamples;
        }
        else if (gate > 0 && --gate == 0)
        {
            fading = true;
            fade = ChipVoice::fadeSamples;
        }
        if (age < ChipVoice::attackSamples)
            g *= (float) age / (float) ChipVoice::attackSamples;
        ++age;

        const float t = (float) (pos - i);
        const float l = chipLeft[i] + (chipLeft[i + 1] - chipLeft[i]) * t;
        const float r = chipRight[i] + (chipRight[i + 1] - chipRight[i]) * t;
        left[s] += l * g * leftGain;
        right[s] += r * g * rightGain;
        pos += step;
        ++s;
    }

    v.position = pos;
    v.gate = gate;
    v.fade = fade;
    v.age = age;
    v.fading = fading;
    v.active = alive;
    if (! alive)
        v.chip = nullptr;
}
} // namespace

void ChipVoice::start (const Virl& newChip, double newRate, bool backwards, float velocity, float left, float right,
                       int lengthSamples) noexcept
{
    chip = &newChip;
    rate = newRate;
    reverse = backwards;
    gain = 0.85f * velocity;
    leftGain = left;
    rightGain = right;
    gate = lengthSamples;
    age = 0;
    fade = 0;
    fading = false;
    active = true;
    position = backwards ? (double) (newChip.frames() - 1) : 0.0;
}

void ChipVoice::render (float* left, float* right, int n) noexcept
{
    if (! active || chip == nullptr)
        return;
    if (reverse)
        play<true> (*this, left, right, n);
    else
        play<false> (*this, left, right, n);
}

} // namespace vl
