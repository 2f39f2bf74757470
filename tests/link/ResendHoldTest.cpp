#include "link/ResendHold.h"
#include "link/Protocol.h"

#include <gtest/gtest.h>

namespace tarvane {
namespace {

TEST(ResendHold, WaitsOutTheOtherAnswersOfARequestSentMoreThanOnce) {
    ResendHold hold;
    // Answered after its only send: the next batch goes out at once.
    hold.sent(0, true);
    hold.answered(30, CMD_PROGRAM);
    EXPECT_FALSE(hold.holds(30, CMD_PROGRAM));
    EXPECT_FALSE(hold.swallows(31));

    // Sent at 100 and 1100, answered at 1400: held until 1100 + 1300 * 1.25.
    hold.sent(100, true);
    hold.sent(1100, false);
    hold.answered(1400, CMD_PROGRAM);
    EXPECT_TRUE(hold.holds(1400, CMD_PROGRAM));
    EXPECT_FALSE(hold.holds(1400, CMD_VERIFY));
    EXPECT_TRUE(hold.holds(2724, CMD_PROGRAM));
    EXPECT_FALSE(hold.holds(2725, CMD_PROGRAM));

    // The one other answer ends the hold as soon as it has come.
    hold.sent(3000, true);
    hold.sent(4000, false);
    hold.answered(4010, CMD_PROGRAM);
    EXPECT_TRUE(hold.swallows(4300));
    EXPECT_FALSE(hold.holds(4300, CMD_PROGRAM));
    EXPECT_FALSE(hold.swallows(4301));

    // Three sends: two other answers may come.
    hold.sent(5000, true);
    hold.sent(6000, false);
    hold.sent(7000, false);
    hold.answered(7100, CMD_PROGRAM);
    EXPECT_TRUE(hold.swallows(7200));
    EXPECT_TRUE(hold.holds(7200, CMD_PROGRAM));
    EXPECT_TRUE(hold.swallows(7300));
    EXPECT_FALSE(hold.holds(7300, CMD_PROGRAM));

    // A request of another command ends the hold.
    hold.sent(8000, true);
    hold.sent(9000, false);
    hold.answered(9050, CMD_PROGRAM);
    hold.sent(9060, true);
    EXPECT_FALSE(hold.swallows(9070));
}

} // namespace
} // namespace tarvane
