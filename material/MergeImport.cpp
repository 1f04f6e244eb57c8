#include "material/MergeImport.h"

namespace vl
{

void mergeImported (Bank& bank, const std::vector<std::shared_ptr<const Virl>>& chips, gv::Rng& rng)
{
    std::array<int, numBoxes> newCount {};
    for (const auto& chip : chips)
        if (chip != nullptr && chip->box >= 0 && chip->box < numBoxes)
            ++newCount[(size_t) chip->box];

    for (int b = 0; b < brusBox + 1; ++b)
    {
        auto& box = bank.boxes[(size_t) b];
        if (bank.factory[(size_t) b] && newCount[(size_t) b] >= factoryTakeoverChips)
        {
            box.clear();
            bank.factory[(size_t) b] = false;
        }

        auto budget = (int) ((float) box.size() * 0.25f);
        for (const auto& chip : chips)
        {
            if (chip == nullptr || chip->box != b)
                continue;
            if (budget > 0 && ! box.empty())
            {
                const size_t at = box.size() >= 2 ? rng.next() % (std::uint32_t) box.size() : 0;
                box[at] = chip;
                --budget;
            }
            else if (box.size() >= boxGrowthLimit)
                box[rng.next() % (std::uint32_t) box.size()] = chip;
            else
                box.push_back (chip);
        }
        sortBox (box);
    }
}

std::string sourceNameOf (const std::string& path)
{
    auto name = path.substr (path.find_last_of ('/') == std::string::npos ? 0 : path.find_last_of ('/') + 1);
    const auto dot = name.find_last_of ('.');
    if (dot != std::string::npos && dot > 0)
        name.erase (dot);
    return name;
}

} // namespace vl
