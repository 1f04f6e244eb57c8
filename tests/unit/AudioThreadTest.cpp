#include "TestSupport.h"

#include "plugin/VirlProcessor.h"

#include <gtest/gtest.h>

#include <mutex>

namespace
{

// The audio callback must not allocate, free or wait, whatever the block size, channel count,
// MIDI traffic or command flow.
TEST (AudioThread, ProcessBlockNeverAllocatesFreesOrLocks)
{
    VirlProcessor processor;
    virltest::ScriptedPlayHead head;
    processor.setPlayHead (&head);

    std::vector<juce::uint8> sysex (300, 0x42);
    juce::MidiBuffer midi;
    midi.ensureSize (8192);

    for (const int channels : { 2, 1 })
    {
        processor.setRateAndBufferSizeDetails (48000.0, 4096);
        processor.prepareToPlay (48000.0, 4096);
        juce::AudioBuffer<float> buffer (channels, 4096);

        const auto block = [&] (int frames, int index) {
            midi.clear();
            midi.addEvent (juce::MidiMessage::noteOn (1, 40 + index % 40, (juce::uint8) 90), 0);
            midi.addEvent (juce::MidiMessage::createSysExMessage (sysex.data(), (int) sysex.size()), frames / 2);
            midi.addEvent (juce::MidiMessage::noteOff (1, 40 + (index + 7) % 40), frames - 1);
            if (index % 5 == 0)
                midi.addEvent (juce::MidiMessage::allNotesOff (1), frames - 1);
            juce::AudioPlayHead::PositionInfo position;
            position.setBpm (90.0 + index % 100);
            position.setPpqPosition (index * 0.37);
            position.setIsPlaying (index % 13 != 0);
            if (index % 3 == 0)
                head.position = position;
            else
                head.position = {};

            buffer.setSize (channels, frames, false, false, true);
            int allocations = 0, frees = 0, locks = 0;
            {
                const virltest::AudioThreadAudit audit;
                processor.processBlock (buffer, midi);
                allocations = audit.allocations();
                frees = audit.frees();
                locks = audit.locks();
            }
            EXPECT_EQ (allocations, 0) << frames << " frames, " << channels << " channels";
            EXPECT_EQ (frees, 0) << frames << " frames, " << channels << " channels";
            EXPECT_EQ (locks, 0) << frames << " frames, " << channels << " channels";
        };

        block (512, 0); // warm-up
        for (int frames = 1, index = 1; frames <= 4096; frames = frames * 3 / 2 + 1, ++index)
        {
            for (const auto kind : { vl::NextAll, vl::NextLane, vl::Back, vl::SetBookmark, vl::RecallBookmark })
                processor.postToEngine ({ kind, 1 + index % 7, index * 7919, index });
            block (frames, index);
        }
        block (4096, 99);
    }
}

} // namespace

namespace
{
// Guards the guard: an audit that saw nothing must be because nothing happened.
TEST (AudioThread, AuditSeesHeapAndLockCalls)
{
    int allocations = 0, frees = 0, locks = 0;
    {
        const virltest::AudioThreadAudit audit;
        auto* block = new std::array<char, 100>();
        asm volatile ("" : : "r"(block) : "memory"); // keep the compiler from eliding the pair
        delete block;
        std::mutex mutex;
        mutex.lock();
        mutex.unlock();
        allocations = audit.allocations();
        frees = audit.frees();
        locks = audit.locks();
    }
    EXPECT_EQ (allocations, 1);
    EXPECT_EQ (frees, 1);
    EXPECT_EQ (locks, 1);
}
} // namespace
