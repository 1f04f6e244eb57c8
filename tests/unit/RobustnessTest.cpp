// The instrument under abuse: any parameter values, any block sizes, jumping transports and banks
// replaced under its feet, and still nothing past the ceiling, no NaN, no allocation, no crash.
#include "TestSupport.h"

#include "material/Factory.h"
#include "plugin/Parameters.h"
#include "plugin/VirlProcessor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>

namespace
{

constexpr float ceiling = 0.96605086f;

void randomiseEverything (VirlProcessor& processor, juce::Random& random)
{
    for (auto* p : processor.getParameters())
    {
        // A third of the values sit on the range's ends, where faults hide.
        const int pick = random.nextInt (6);
        p->setValueNotifyingHost (pick == 0 ? 0.0f : pick == 1 ? 1.0f : random.nextFloat());
    }
}

TEST (Robustness, NoSampleEverPassesTheCeiling)
{
    juce::Random random (20261211);
    for (int set = 0; set < 10; ++set)
    {
        VirlProcessor processor;
        virltest::ScriptedPlayHead head;
        processor.setPlayHead (&head);
        const double rate = set % 3 == 0 ? 44100.0 : set % 3 == 1 ? 48000.0 : 96000.0;
        processor.setRateAndBufferSizeDetails (rate, 4096);
        processor.prepareToPlay (rate, 4096);
        randomiseEverything (processor, random);

        juce::AudioBuffer<float> buffer (2, 4096);
        juce::MidiBuffer midi;
        double ppq = random.nextFloat() * 400.0;
        double bpm = 40.0 + random.nextFloat() * 260.0;
        bool playing = true;
        float worst = 0.0f;
        int bad = 0;
        for (std::int64_t frames = 0; frames < (std::int64_t) (rate * 6.0);)
        {
            const int n = 1 + random.nextInt (4096);
            if (random.nextInt (40) == 0)
                ppq = random.nextFloat() * 2000.0; // a jump
            if (random.nextInt (60) == 0)
                playing = ! playing;
            if (random.nextInt (50) == 0)
                bpm = 40.0 + random.nextFloat() * 260.0;
            if (random.nextInt (80) == 0)
                randomiseEverything (processor, random);
            juce::AudioPlayHead::PositionInfo position;
            position.setBpm (bpm);
            position.setPpqPosition (ppq);
            position.setIsPlaying (playing);
            head.position = position;

            buffer.setSize (2, n, false, false, true);
            processor.processBlock (buffer, midi);
            for (int c = 0; c < 2; ++c)
                for (int i = 0; i < n; ++i)
                {
                    const float x = buffer.getSample (c, i);
                    bad += std::isfinite (x) ? 0 : 1;
                    worst = std::max (worst, std::abs (x));
                }
            if (playing)
                ppq += n * bpm / 60.0 / rate;
            frames += n;
        }
        EXPECT_EQ (bad, 0) << "set " << set;
        EXPECT_LE (worst, ceiling) << "set " << set;
    }
}

// Banks are replaced every few milliseconds while voices play their chips; the audio thread must
// neither allocate nor free, and no voice may read a chip that is gone.
TEST (Robustness, BanksSwappedWhileVoicesPlay)
{
    VirlProcessor processor;
    processor.prepareToPlay (48000.0, 256);
    for (int lane = 2; lane < 8; ++lane)
    {
        auto* box = processor.parameters().getParameter (vl::lid (lane, "lada"));
        box->setValueNotifyingHost (box->convertTo0to1 (6.0f)); // every chip lane plays the ghost box
        auto* pitch = processor.parameters().getParameter (vl::lid (lane, "ton"));
        pitch->setValueNotifyingHost (pitch->convertTo0to1 (-24.0f)); // slow and long
    }

    const auto factory = vl::factory::build (vl::factory::defaultSeed);
    std::atomic<bool> running { true };
    std::atomic<int> allocations { 0 }, frees { 0 }, locks { 0 }, nonFinite { 0 };

    std::thread audio ([&] {
        juce::AudioBuffer<float> buffer (2, 256);
        juce::MidiBuffer midi;
        const auto start = std::chrono::steady_clock::now();
        for (int block = 0; running.load(); ++block)
        {
            {
                const virltest::AudioThreadAudit audit;
                processor.processBlock (buffer, midi);
                allocations += audit.allocations();
                frees += audit.frees();
                locks += audit.locks();
            }
            for (int i = 0; i < 256; ++i)
                nonFinite += std::isfinite (buffer.getSample (0, i)) ? 0 : 1;
            // Real time, so that retirement (counted in wall-clock time) meets voices as it would in a host.
            std::this_thread::sleep_until (start + std::chrono::microseconds ((std::int64_t) (block + 1) * 256 * 1000000 / 48000));
        }
    });

    juce::Random random (8);
    const auto end = juce::Time::getMillisecondCounter() + 6500;
    while (juce::Time::getMillisecondCounter() < end)
    {
        // Fresh copies every time, so each replaced bank takes chips nobody else holds.
        vl::Box box;
        for (int i = 0; i < 12; ++i)
        {
            const auto& source = factory->boxes[(size_t) random.nextInt (5)];
            box.push_back (std::make_shared<vl::Virl> (*source[(size_t) random.nextInt ((int) source.size())]));
        }
        processor.installBank (vl::replaceGhostBox (processor.currentBankCopy().get(), std::move (box)));
        processor.backgroundTick (juce::Time::getMillisecondCounter()); // releases what has served its time
        juce::Thread::sleep (3);
    }
    running = false;
    audio.join();

    EXPECT_EQ (allocations.load(), 0);
    EXPECT_EQ (frees.load(), 0);
    EXPECT_EQ (locks.load(), 0);
    EXPECT_EQ (nonFinite.load(), 0);
}

} // namespace
