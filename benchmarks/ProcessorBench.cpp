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
