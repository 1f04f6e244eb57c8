// A project reload: the host restores the saved state right after instantiating, while the
// constructor's preset variant may still be waiting. The saved patterns must come back unchanged.
#include "HostTestSupport.h"

#include <gtest/gtest.h>

#include <regex>

namespace
{

using namespace virltest;

// The saved roll with a variant seed and one lane changed, as if the user had pressed NÄSTA.
std::string withDistinctRoll (const std::string& xml)
{
    std::smatch match;
    EXPECT_TRUE (std::regex_search (xml, match, std::regex ("rulle=\"([^\"]*)\"")));
    auto roll = decodeJuceBase64 (match[1].str()).value_or ("");
    EXPECT_EQ (roll.size(), 2248u);
    const std::string seedAll = "\x78\x56\x34\x12";
    roll.replace (2240, 4, seedAll);
    roll[280 * 3 + 264] = '\x2a'; // TICK's lane seed
    roll[280 * 2 + 8 + 8 * 5] = roll[280 * 2 + 8 + 8 * 5] != 0 ? '\0' : '\1'; // KLICK's step 5 on or off
    return match.prefix().str() + "rulle=\"" + encodeJuceBase64 (roll) + "\"" + match.suffix().str();
}

TEST (Reload, RestoredPatternsSurviveThePendingPresetVariant)
{
    TempDir dir;
    const auto original = dir.file ("original.ttl");
    auto [status, output] = runCommand (render ("--seconds 2 --save-state '" + original + "'"));
    ASSERT_EQ (status, 0) << output;

    const auto xml = stateXml (readBytes (original));
    ASSERT_TRUE (xml.has_value());
    const auto crafted = withDistinctRoll (*xml);
    const auto saved = dir.file ("saved.ttl");
    writeText (saved, withStateXml (readBytes (original), crafted).value_or (""));

    for (const int delayMs : { 0, 30, 100 })
    {
        const auto again = dir.file ("again" + std::to_string (delayMs) + ".ttl");
        std::tie (status, output) = runCommand (render ("--seconds 0.5 --realtime --restore-state '" + saved + "' --restore-delay-ms "
                                                        + std::to_string (delayMs) + " --save-state '" + again + "'"));
        ASSERT_EQ (status, 0) << output;
        EXPECT_EQ (stateXml (readBytes (again)).value_or ("none"), crafted) << "restore " << delayMs << " ms after instantiation";
    }
}

} // namespace
