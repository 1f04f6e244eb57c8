// The processor owns the installed bank and keeps replaced ones alive while voices may still play them.
#include "plugin/VirlProcessor.h"

#include "material/Factory.h"

void VirlProcessor::installBank (std::shared_ptr<const vl::Bank> bank)
{
    if (bank == nullptr)
        return;
    const juce::ScopedLock lock (bankLock);
    vl::retire (retiredBanks, std::move (currentBank), juce::Time::getMillisecondCounter());
    currentBank = std::move (bank);
    engine.bank.store (currentBank.get(), std::memory_order_release);
}

std::shared_ptr<const vl::Bank> VirlProcessor::currentBankCopy() const
{
    const juce::ScopedLock lock (bankLock);
    return currentBank;
}

void VirlProcessor::restoreFactoryBank()
{
    auto fresh = vl::factory::build (vl::factory::defaultSeed);
    const auto current = currentBankCopy();
    vl::carryGhostBox (*fresh, current.get());
    installBank (std::move (fresh));
}
