// The MIDI notes held on the input, in arrival order, in fixed storage the audio thread never grows.
#pragma once

#include <array>

namespace vl
{

struct HeldNotes
{
    std::array<int, 128> notes {};
    int count = 0;

    void press (int note)
    {
        for (int i = 0; i < count; ++i)
            if (notes[(size_t) i] == note)
                return;
        if (count < (int) notes.size())
            notes[(size_t) count++] = note;
    }

    void release (int note)
    {
        for (int i = 0; i < count; ++i)
            if (notes[(size_t) i] == note)
            {
                for (int j = i + 1; j < count; ++j)
                    notes[(size_t) j - 1] = notes[(size_t) j];
                --count;
                return;
            }
    }

    void releaseAll() { count = 0; }

    // The lowest held note, or -1 when none is held.
    int lowest() const
    {
        int low = -1;
        for (int i = 0; i < count; ++i)
            if (low < 0 || notes[(size_t) i] < low)
                low = notes[(size_t) i];
        return low;
    }
};

} // namespace vl
