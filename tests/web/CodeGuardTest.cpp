#include <gtest/gtest.h>

#include "WebUpdates.h"

TEST(CodeGuard, AddressesAndTheWholeBoardAreShutOut) {
    // 8 addresses, 4 wrong codes each: none alone reaches 5, together they pass 20.
    CodeGuard guard;
    std::int64_t t = 1000;
    int starts = 0;
    for (int round = 0; round < 4; ++round)
        for (int a = 0; a < 8; ++a) {
            const std::string address = "127.0.0." + std::to_string(a + 1);
            EXPECT_EQ(guard.ShutFor(address, t) > 0, round * 8 + a > 20) << round << " " << a;
            starts += guard.Wrong(address, t);
            t += 100;
        }
    EXPECT_EQ(starts, 1) << "the log is told once";
    EXPECT_TRUE(guard.BoardShut(t));
    EXPECT_NEAR(static_cast<double>(guard.ShutFor("127.0.0.99", t)), 60000 - 100, 1) << "a new address too";
    EXPECT_EQ(guard.ShutFor("127.0.0.99", t - 100 + 60000), 0) << "open after a minute without a wrong code";
    EXPECT_FALSE(guard.BoardShut(t - 100 + 60000));

    // One address alone: shut out at its fifth wrong code, for a minute; the others not.
    CodeGuard one;
    for (int i = 0; i < 5; ++i) EXPECT_FALSE(one.Wrong("10.0.0.1", 5000 + i));
    EXPECT_GT(one.ShutFor("10.0.0.1", 6000), 0);
    EXPECT_EQ(one.ShutFor("10.0.0.2", 6000), 0);
    EXPECT_EQ(one.ShutFor("10.0.0.1", 5004 + 60000), 0);
}
