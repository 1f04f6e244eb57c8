// Hold times and release of replaced banks.
#include "material/BankRetirement.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace vl
{

namespace
{
// A voice reads at 2^-3 of the chip's own rate at the slowest.
constexpr double slowestRate = 0.125;

// A voice may start on a bank during the chunk in which it is replaced, and the timer only
// looks every 100 ms.
constexpr double marginMs = 250.0;
} // namespace

std::uint32_t holdTimeMs (const Bank& bank)
{
    double longestMs = 0.0;
    for (const auto& box : bank.boxes)
        for (const auto& chip : box)
            if (chip != nullptr && chip->sampleRate > 0.0f)
                longestMs = std::max (longestMs, 1000.0 * chip->frames() / (chip->sampleRate * slowestRate));

    // Capped well below the counter's wrap, where an age could never exceed it.
    const double hold = std::min (std::ceil (longestMs + marginMs), 3600.0 * 1000.0);
    return std::max (bankGraceMs, static_cast<std::uint32_t> (hold));
}

void retire (std::vector<RetiredBank>& retired, std::shared_ptr<const Bank> bank, std::uint32_t nowMs)
{
    if (bank == nullptr)
        return;
    const auto hold = holdTimeMs (*bank);
    retired.push_back ({ std::move (bank), nowMs, hold });
}

void releaseRetired (std::vector<RetiredBank>& retired, std::uint32_t nowMs)
{
    std::erase_if (retired, [nowMs] (const RetiredBank& entry) { return nowMs - entry.retiredAtMs > entry.holdMs; });
}

} // namespace vl
