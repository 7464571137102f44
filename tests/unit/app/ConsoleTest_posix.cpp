// What the console front end needs of Linux: the simulator as a child
// process.
#include "app/Console.h"

#include <gtest/gtest.h>

#include <chrono>

TEST(SimulatorProcess, OneThatIgnoresSigtermIsKilledAfterTwoSeconds) {
    // An ignored signal stays ignored across exec: sleep never ends on SIGTERM.
    TSimulatorProcess LChild("/bin/sh", {"-c", "trap '' TERM; echo /dev/null; exec sleep 60"},
                             10000);
    EXPECT_EQ(LChild.PortPath(), "/dev/null");
    const auto LStart = std::chrono::steady_clock::now();
    EXPECT_FALSE(LChild.Stop());
    const auto LTook = std::chrono::steady_clock::now() - LStart;
    EXPECT_GE(LTook, std::chrono::milliseconds(1900));
    EXPECT_LT(LTook, std::chrono::seconds(20));
}
