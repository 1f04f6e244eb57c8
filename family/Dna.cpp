// The eight grooves; the names are also the choices of the groove parameter.
#include "family/Dna.h"

namespace gv
{

namespace
{
using Row = std::array<float, dnaSteps>;

constexpr Row repeat (float a, float b)
{
    Row r {};
    for (int i = 0; i < dnaSteps; ++i)
        r[static_cast<std::size_t> (i)] = (i % 2 == 0) ? a : b;
    return r;
}

constexpr Row repeat (float a, float b, float c, float d)
{
    Row r {};
    const float q[] = { a, b, c, d };
    for (int i = 0; i < dnaSteps; ++i)
        r[static_cast<std::size_t> (i)] = q[i % 4];
    return r;
}

constexpr Row straight {};

constexpr std::array<Dna, numGrooves> grooves { {
    { "909 RAK",
      straight,
      { 1.00f, 0.62f, 0.78f, 0.60f, 0.95f, 0.62f, 0.78f, 0.60f, 1.00f, 0.62f, 0.78f, 0.60f, 0.95f, 0.62f, 0.78f, 0.60f },
      { 0.00f, 0.02f, 0.02f, 0.03f, 0.00f, 0.02f, 0.02f, 0.03f, 0.00f, 0.02f, 0.02f, 0.03f, 0.00f, 0.02f, 0.02f, 0.05f } },
    { "909 SHUFFLE",
      repeat (0.00f, 0.16f),
      { 1.00f, 0.55f, 0.85f, 0.58f, 0.95f, 0.55f, 0.85f, 0.60f, 1.00f, 0.55f, 0.85f, 0.58f, 0.95f, 0.55f, 0.85f, 0.62f },
      { 0.00f, 0.05f, 0.02f, 0.06f, 0.00f, 0.05f, 0.02f, 0.06f, 0.00f, 0.05f, 0.02f, 0.06f, 0.00f, 0.05f, 0.02f, 0.08f } },
    { "SLAPP SAMPLER",
      { 0.00f, 0.12f, 0.01f, 0.14f, -0.01f, 0.12f, 0.02f, 0.13f, 0.00f, 0.11f, 0.01f, 0.14f, -0.01f, 0.13f, 0.02f, 0.12f },
      { 1.00f, 0.50f, 0.82f, 0.56f, 0.92f, 0.52f, 0.80f, 0.58f, 0.98f, 0.50f, 0.84f, 0.55f, 0.90f, 0.53f, 0.80f, 0.60f },
      { 0.00f, 0.08f, 0.03f, 0.09f, 0.00f, 0.08f, 0.03f, 0.09f, 0.00f, 0.08f, 0.03f, 0.09f, 0.00f, 0.08f, 0.03f, 0.12f } },
    { "BERUSAD GUNG",
      { 0.00f, 0.22f, 0.04f, 0.18f, -0.02f, 0.24f, 0.06f, 0.14f, 0.00f, 0.20f, 0.02f, 0.26f, -0.03f, 0.18f, 0.08f, 0.12f },
      { 1.00f, 0.45f, 0.72f, 0.50f, 0.88f, 0.48f, 0.70f, 0.55f, 0.96f, 0.44f, 0.74f, 0.50f, 0.86f, 0.47f, 0.68f, 0.58f },
      { 0.00f, 0.12f, 0.05f, 0.14f, 0.00f, 0.12f, 0.06f, 0.12f, 0.00f, 0.13f, 0.05f, 0.14f, 0.00f, 0.12f, 0.06f, 0.16f } },
    { "MIKROHUS",
      { 0.00f, 0.08f, -0.03f, 0.10f, 0.00f, 0.07f, -0.02f, 0.11f, 0.00f, 0.08f, -0.03f, 0.10f, 0.00f, 0.07f, -0.02f, 0.12f },
      { 1.00f, 0.58f, 0.74f, 0.62f, 0.94f, 0.60f, 0.72f, 0.64f, 1.00f, 0.58f, 0.74f, 0.62f, 0.94f, 0.60f, 0.72f, 0.66f },
      { 0.00f, 0.10f, 0.04f, 0.10f, 0.00f, 0.10f, 0.04f, 0.10f, 0.00f, 0.10f, 0.04f, 0.10f, 0.00f, 0.10f, 0.04f, 0.12f } },
    { "ROMINIMAL",
      { 0.00f, 0.06f, -0.05f, 0.10f, 0.00f, 0.05f, -0.06f, 0.12f, 0.00f, 0.06f, -0.04f, 0.09f, 0.00f, 0.05f, -0.06f, 0.13f },
      { 1.00f, 0.52f, 0.66f, 0.58f, 0.90f, 0.54f, 0.64f, 0.60f, 0.97f, 0.52f, 0.66f, 0.58f, 0.90f, 0.54f, 0.64f, 0.62f },
      { 0.00f, 0.09f, 0.06f, 0.08f, 0.00f, 0.09f, 0.06f, 0.08f, 0.00f, 0.09f, 0.06f, 0.08f, 0.00f, 0.09f, 0.06f, 0.10f } },
    { "DETROIT",
      repeat (0.00f, 0.10f),
      { 0.90f, 0.55f, 0.70f, 0.60f, 1.00f, 0.55f, 0.70f, 0.62f, 0.90f, 0.55f, 0.70f, 0.60f, 1.00f, 0.55f, 0.72f, 0.64f },
      { 0.00f, 0.04f, 0.02f, 0.05f, 0.00f, 0.04f, 0.02f, 0.05f, 0.00f, 0.04f, 0.02f, 0.05f, 0.00f, 0.04f, 0.02f, 0.06f } },
    // The engine plays the user's extracted groove instead of this row; it is only a fallback.
    { "EGEN",
      straight,
      repeat (1.00f, 0.60f, 0.80f, 0.60f),
      repeat (0.00f, 0.04f, 0.02f, 0.04f) },
} };
} // namespace

const Dna& dnaTable (int i)
{
    return grooves[static_cast<std::size_t> (i >= 0 && i < numGrooves ? i : 0)];
}

} // namespace gv
