// The port name rule, the part every platform shares.
#include "serial/PortCheck.h"

#include <gtest/gtest.h>

TEST(PortName, TextTheSearchCannotHoldIsRefused) {
    for (const std::string& LName : {std::string("/dev/tty\xff\xfe"), std::string("COM\xc3"),
                                     std::string("/dev/tty\nS0"), std::string("COM3\t\x7f")}) {
        std::string LPort = "unchanged", LReason;
        EXPECT_FALSE(PortNameOf(LName, LPort, LReason)) << LName;
        EXPECT_FALSE(LReason.empty());
        EXPECT_EQ(LPort, "unchanged");
    }
    std::string LPort, LReason;
    EXPECT_FALSE(PortNameOf("/dev/\xe7\xab", LPort, LReason));
    EXPECT_NE(LReason.find("UTF-8"), std::string::npos) << LReason;
}

TEST(PortName, ProblemCodes) {
    EXPECT_STREQ(PortProblemCode(TPortProblem::ppNone), "");
    EXPECT_STREQ(PortProblemCode(TPortProblem::ppMissing), "missing");
    EXPECT_STREQ(PortProblemCode(TPortProblem::ppBusy), "busy");
    EXPECT_STREQ(PortProblemCode(TPortProblem::ppDenied), "permission");
    EXPECT_STREQ(PortProblemCode(TPortProblem::ppNotSerial), "not-serial");
    EXPECT_STREQ(PortProblemCode(TPortProblem::ppBadName), "bad-name");
}
