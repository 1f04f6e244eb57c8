// Ordering and deriving banks.
#include "material/Virl.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace vl
{

namespace
{
// (0, brightness) for a usable chip, (1, 0) for a NaN brightness, (2, 0) for an empty entry:
// a strict weak order even over faulty input, which std::stable_sort requires.
std::pair<int, float> sortKey (const std::shared_ptr<const Virl>& chip)
{
    if (chip == nullptr)
        return { 2, 0.0f };
    if (std::isnan (chip->brightness))
        return { 1, 0.0f };
    return { 0, chip->brightness };
}
} // namespace

void sortBox (Box& box)
{
    std::stable_sort (box.begin(), box.end(), [] (const auto& a, const auto& b) { return sortKey (a) < sortKey (b); });
}

std::shared_ptr<Bank> deriveBank (const Bank* current)
{
    if (current == nullptr)
        return std::make_shared<Bank>();
    return std::make_shared<Bank> (*current);
}

std::shared_ptr<Bank> replaceGhostBox (const Bank* current, Box chips)
{
    auto bank = deriveBank (current);
    bank->boxes[ghostBox] = std::move (chips);
    sortBox (bank->boxes[ghostBox]);
    return bank;
}

void carryGhostBox (Bank& fresh, const Bank* current)
{
    if (current != nullptr)
        fresh.boxes[ghostBox] = current->boxes[ghostBox];
}

int playableBox (const Bank& bank, int box) noexcept
{
    if (box < 0 || box >= numBoxes)
        return -1;
    if (box == ghostBox && bank.boxes[ghostBox].empty())
        box = brusBox;
    return bank.boxes[static_cast<std::size_t> (box)].empty() ? -1 : box;
}

} // namespace vl
