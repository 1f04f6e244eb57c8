// The factory's cost: a whole bank (constructor and FABRIK) and one chip of each recipe.
#include "family/Random.h"
#include "material/Factory.h"

#include <benchmark/benchmark.h>

namespace
{

void factoryBuild (benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize (vl::factory::build (vl::factory::defaultSeed));
}
BENCHMARK (factoryBuild)->Unit (benchmark::kMillisecond);

template <std::shared_ptr<const vl::Virl> (*recipe) (std::uint32_t)>
void factoryRecipe (benchmark::State& state)
{
    std::uint32_t k = 0;
    for (auto _ : state)
        benchmark::DoNotOptimize (recipe (gv::hashMix (vl::factory::defaultSeed, k++)));
}
BENCHMARK_TEMPLATE (factoryRecipe, vl::factory::klick)->Unit (benchmark::kMicrosecond);
BENCHMARK_TEMPLATE (factoryRecipe, vl::factory::tick)->Unit (benchmark::kMicrosecond);
BENCHMARK_TEMPLATE (factoryRecipe, vl::factory::rost)->Unit (benchmark::kMicrosecond);
BENCHMARK_TEMPLATE (factoryRecipe, vl::factory::ton)->Unit (benchmark::kMicrosecond);
BENCHMARK_TEMPLATE (factoryRecipe, vl::factory::brus)->Unit (benchmark::kMicrosecond);

} // namespace
