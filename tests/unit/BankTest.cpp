// Banks: box order, derivation, the ghost box, FABRIK, box fallback and retirement.
#include "family/BoxName.h"
#include "material/BankRetirement.h"
#include "material/Factory.h"
#include "material/Virl.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace
{

// A one-sample chip; `tag` travels in the pitch field so order can be checked after sorting.
std::shared_ptr<const vl::Virl> chip (float brightness, float tag = 0.0f, int box = 4, int frames = 1)
{
    auto c = std::make_shared<vl::Virl>();
    c->left.assign ((std::size_t) frames, 0.0f);
    c->right = c->left;
    c->brightness = brightness;
    c->pitch = tag;
    c->box = box;
    return c;
}

std::vector<float> tagsOf (const vl::Box& box)
{
    std::vector<float> tags;
    for (const auto& c : box)
        tags.push_back (c == nullptr ? -1.0f : c->pitch);
    return tags;
}

TEST (SortBox, AscendingAndStableForEqualBrightness)
{
    vl::Box box { chip (0.7f, 1), chip (0.2f, 2), chip (0.7f, 3), chip (0.2f, 4), chip (0.5f, 5), chip (0.7f, 6) };
    vl::sortBox (box);
    EXPECT_EQ (tagsOf (box), (std::vector<float> { 2, 4, 5, 1, 3, 6 }));
}

// Producers outside the factory could hand over an empty entry or a NaN brightness; the sort
// must stay a valid ordering and put them out of the way.
TEST (SortBox, EmptyEntriesAndNanGoLast)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    vl::Box box { nullptr, chip (nan, 1), chip (0.9f, 2), nullptr, chip (0.1f, 3), chip (nan, 4) };
    vl::sortBox (box);
    EXPECT_EQ (tagsOf (box), (std::vector<float> { 3, 2, 1, 4, -1, -1 }));
}

TEST (DeriveBank, SharesTheChipsAndCopiesTheFlags)
{
    vl::Bank current;
    current.boxes[0] = { chip (0.1f), chip (0.2f) };
    current.boxes[5] = { chip (0.3f) };
    current.factory = { true, false, true, false, false, false };

    const auto derived = vl::deriveBank (&current);
    EXPECT_EQ (derived->factory, current.factory);
    for (std::size_t b = 0; b < vl::numBoxes; ++b)
        EXPECT_EQ (derived->boxes[b], current.boxes[b]) << "box " << b; // the same pointers

    // Editing the copy leaves the installed bank alone.
    derived->boxes[0].clear();
    EXPECT_EQ (current.boxes[0].size(), 2u);
}

TEST (DeriveBank, FromNoBankIsEmpty)
{
    const auto derived = vl::deriveBank (nullptr);
    for (std::size_t b = 0; b < vl::numBoxes; ++b)
    {
        EXPECT_TRUE (derived->boxes[b].empty());
        EXPECT_FALSE (derived->factory[b]);
    }
}

TEST (ReplaceGhostBox, ReplacesOnlyTheGhostBoxAndSortsIt)
{
    vl::Bank current;
    current.boxes[2] = { chip (0.4f) };
    current.boxes[5] = { chip (0.1f, 9) };
    current.factory[2] = true;

    const auto next = vl::replaceGhostBox (&current, { chip (0.8f, 1, 5), chip (0.3f, 2, 5) });
    EXPECT_EQ (tagsOf (next->boxes[5]), (std::vector<float> { 2, 1 }));
    EXPECT_EQ (next->boxes[2], current.boxes[2]);
    EXPECT_TRUE (next->factory[2]);
    EXPECT_EQ (tagsOf (current.boxes[5]), (std::vector<float> { 9 }));
}

TEST (Fabrik, KeepsTheGhostChipsAndRestoresFactoryBoxes)
{
    vl::Bank current;
    current.boxes[0] = { chip (0.5f) }; // imported material that FABRIK throws out
    current.boxes[5] = { chip (0.2f, 1, 5), chip (0.6f, 2, 5) };

    auto fresh = vl::factory::build (vl::factory::defaultSeed);
    vl::carryGhostBox (*fresh, &current);

    EXPECT_EQ (fresh->boxes[5], current.boxes[5]);
    EXPECT_EQ (fresh->boxes[0].size(), 48u);
    for (int b = 0; b < 5; ++b)
        EXPECT_TRUE (fresh->factory[(std::size_t) b]);
    EXPECT_FALSE (fresh->factory[5]);

    auto withoutBank = vl::factory::build (vl::factory::defaultSeed);
    vl::carryGhostBox (*withoutBank, nullptr);
    EXPECT_TRUE (withoutBank->boxes[5].empty());
}

struct PlayableCase
{
    int asked;
    bool ghostFilled, brusFilled;
    int played;
};

class PlayableBox : public ::testing::TestWithParam<PlayableCase>
{
};

TEST_P (PlayableBox, FallsBackFromAnEmptyGhostBox)
{
    const auto c = GetParam();
    vl::Bank bank;
    bank.boxes[1] = { chip (0.5f) };
    if (c.ghostFilled)
        bank.boxes[5] = { chip (0.5f) };
    if (c.brusFilled)
        bank.boxes[4] = { chip (0.5f) };
    EXPECT_EQ (vl::playableBox (bank, c.asked), c.played);
}

INSTANTIATE_TEST_SUITE_P (Bank, PlayableBox,
                          ::testing::Values (PlayableCase { 5, true, true, 5 },   // ghost chips there
                                             PlayableCase { 5, false, true, 4 },  // empty ghost box plays BRUS
                                             PlayableCase { 5, false, false, -1 }, // and BRUS empty too
                                             PlayableCase { 1, false, false, 1 },
                                             PlayableCase { 2, true, true, -1 },   // an empty box plays nothing
                                             PlayableCase { 6, true, true, -1 },
                                             PlayableCase { -1, true, true, -1 }));

TEST (BoxName, FiveNamesAndNothingElse)
{
    const char* names[] = { "KLICK", "TICK", "RÖST", "TON", "BRUS" };
    for (int b = 0; b < 5; ++b)
        EXPECT_STREQ (gv::boxName (b), names[b]);
    EXPECT_STREQ (gv::boxName (5), "");
    EXPECT_STREQ (gv::boxName (-1), "");
}

// Retirement: a bank lives until its age exceeds its hold time, measured on a 32-bit counter.
struct ReleaseCase
{
    const char* name;
    std::uint32_t retiredAt, now;
    bool released;
};

class ReleaseRetired : public ::testing::TestWithParam<ReleaseCase>
{
};

TEST_P (ReleaseRetired, AfterTheGraceTimeNotBefore)
{
    const auto c = GetParam();
    std::vector<vl::RetiredBank> retired;
    auto bank = std::make_shared<const vl::Bank>();
    std::weak_ptr<const vl::Bank> watch = bank;
    vl::retire (retired, std::move (bank), c.retiredAt);

    vl::releaseRetired (retired, c.now);
    EXPECT_EQ (retired.empty(), c.released);
    EXPECT_EQ (watch.expired(), c.released);
}

INSTANTIATE_TEST_SUITE_P (Bank, ReleaseRetired,
                          ::testing::Values (ReleaseCase { "fresh", 1000, 1000, false },
                                             ReleaseCase { "exactlyGrace", 1000, 6000, false },
                                             ReleaseCase { "justPast", 1000, 6001, true },
                                             ReleaseCase { "wrapExactlyGrace", 0xfffff000u, 0xfffff000u + 5000u, false },
                                             ReleaseCase { "wrapJustPast", 0xfffff000u, 0xfffff000u + 5001u, true }),
                          [] (const auto& info) { return std::string (info.param.name); });

TEST (Retire, NoBankAddsNothingAndOrderSurvives)
{
    std::vector<vl::RetiredBank> retired;
    vl::retire (retired, nullptr, 10);
    EXPECT_TRUE (retired.empty());

    const auto a = std::make_shared<const vl::Bank>(), b = std::make_shared<const vl::Bank>(),
               c = std::make_shared<const vl::Bank>();
    vl::retire (retired, a, 0);
    vl::retire (retired, b, 3000);
    vl::retire (retired, c, 4000);
    vl::releaseRetired (retired, 5001);
    ASSERT_EQ (retired.size(), 2u);
    EXPECT_EQ (retired[0].bank, b);
    EXPECT_EQ (retired[1].bank, c);
}

// A voice plays a chip at least 1/8 of its own rate, so a bank holding a long chip must
// outlive the grace time; the factory's chips (460 ms at most) all fit within it.
TEST (Retire, HoldTimeCoversTheSlowestVoice)
{
    EXPECT_EQ (vl::holdTimeMs (*vl::factory::build (vl::factory::defaultSeed)), vl::bankGraceMs);

    vl::Bank longChip;
    longChip.boxes[3] = { chip (0.5f, 0, 3, 48000) }; // one second at 48 kHz: 8 s at three octaves down
    EXPECT_GE (vl::holdTimeMs (longChip), 8000u);
    EXPECT_LE (vl::holdTimeMs (longChip), 8500u);

    auto slow = std::make_shared<vl::Virl>(); // one second at 24 kHz
    slow->left.assign (24000, 0.0f);
    slow->right = slow->left;
    slow->sampleRate = 24000.0f;
    vl::Bank slowBank;
    slowBank.boxes[5] = { slow };
    EXPECT_EQ (vl::holdTimeMs (slowBank), vl::holdTimeMs (longChip));
}

} // namespace
