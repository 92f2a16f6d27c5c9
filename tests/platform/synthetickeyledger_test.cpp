#include "platform/x11/synthetickeyledger.h"

#include <gtest/gtest.h>

namespace corvane {
namespace {

TEST(SyntheticKeyLedger, TakesBackOwnPressesInOrderAndLetsTheUsersKeysThrough)
{
    SyntheticKeyLedger ledger;
    EXPECT_FALSE(ledger.takeIfPosted(38));
    for (std::uint32_t keycode : { 22u, 22u, 38u })
        ledger.notePosted(keycode);

    EXPECT_TRUE(ledger.takeIfPosted(22));
    // The user pressed a key meanwhile: reported, and the ledger still waits for its own.
    EXPECT_FALSE(ledger.takeIfPosted(56));
    EXPECT_TRUE(ledger.takeIfPosted(22));
    EXPECT_FALSE(ledger.takeIfPosted(22));
    EXPECT_TRUE(ledger.takeIfPosted(38));
    EXPECT_FALSE(ledger.takeIfPosted(38));
}

} // namespace
} // namespace corvane
