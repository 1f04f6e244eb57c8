// What a DAW waits for when it opens a project: constructing an instance and preparing it to play.
#include "plugin/VirlProcessor.h"

#include <benchmark/benchmark.h>

namespace
{

struct JuceRuntime
{
    juce::ScopedJuceInitialiser_GUI gui;
};

void processorConstruction (benchmark::State& state)
{
    static JuceRuntime runtime;
    for (auto _ : state)
    {
        VirlProcessor processor;
        benchmark::DoNotOptimize (&processor);
    }
}
BENCHMARK (processorConstruction)->Unit (benchmark::kMillisecond);

void prepareToPlayTenMinutes (benchmark::State& state)
{
    static JuceRuntime runtime;
    for (auto _ : state)
    {
        state.PauseTiming();
        auto processor = std::make_unique<VirlProcessor>();
        state.ResumeTiming();
        processor->prepareToPlay (48000.0, 512);
        state.PauseTiming();
        processor.reset();
        state.ResumeTiming();
    }
}
BENCHMARK (prepareToPlayTenMinutes)->Unit (benchmark::kMillisecond);

void stateSaveAndRestore (benchmark::State& state)
{
    static JuceRuntime runtime;
    VirlProcessor processor;
    juce::MemoryBlock block;
    for (auto _ : state)
    {
        processor.getStateInformation (block);
        processor.setStateInformation (block.getData(), (int) block.getSize());
    }
}
BENCHMARK (stateSaveAndRestore)->Unit (benchmark::kMicrosecond);

} // namespace

namespace
{

// The whole instrument on one core: default preset, all eight lanes sounding, 48 kHz, 256-frame blocks.
void wholeEngineRealTime (benchmark::State& state)
{
    static JuceRuntime runtime;
    VirlProcessor processor;
    processor.prepareToPlay (48000.0, 256);
    juce::AudioBuffer<float> buffer (2, 256);
    juce::MidiBuffer midi;
    for (int i = 0; i < 2000; ++i) // past the first bars, with every lane's voices going
        processor.processBlock (buffer, midi);
    std::int64_t frames = 0;
    for (auto _ : state)
    {
        processor.processBlock (buffer, midi);
        frames += 256;
    }
    const double seconds = (double) frames / 48000.0;
    state.counters["x_realtime"] = benchmark::Counter (seconds, benchmark::Counter::kIsRate);
    state.counters["ns_per_frame"] = benchmark::Counter ((double) frames, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK (wholeEngineRealTime);

} // namespace
