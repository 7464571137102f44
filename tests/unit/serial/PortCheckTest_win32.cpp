// The port name rule on Windows: the forms the system accepts become the COM
// name the client's number rule reads; what that rule cannot read is refused.
#include "serial/PortCheck.h"

#include <gtest/gtest.h>

TEST(PortName, WindowsFormsBecomeTheClientsComName) {
    const struct {
        const char* Name;
        const char* Port;
    } LCases[] = {
        {"COM3", "COM3"},   {"\\\\.\\COM3", "COM3"}, {"//./COM3", "COM3"},
        {"COM3:", "COM3"},  {"\"COM3 \"", "COM3"},   {"COM3.", "COM3"},
        {" com3 ", "COM3"}, {"COM03", "COM3"},       {"\\\\.\\COM12:", "COM12"},
        {"COM10", "COM10"}, {"COM0", "COM0"},
    };
    for (const auto& LCase : LCases) {
        std::string LPort, LReason;
        EXPECT_TRUE(PortNameOf(LCase.Name, LPort, LReason)) << LCase.Name << ": " << LReason;
        EXPECT_EQ(LPort, LCase.Port) << LCase.Name;
    }
    for (const char* LName :
         {"COMX", "COM", "CNCA0", "COM-4", "COM3 x", "\\\\.\\pipe\\p", "C:", "COM1234567890"}) {
        std::string LPort, LReason;
        EXPECT_FALSE(PortNameOf(LName, LPort, LReason)) << LName;
        EXPECT_NE(LReason.find("COM"), std::string::npos) << LReason;
    }
}

TEST(PortCheck, AMissingComPortIsNamedSo) {
    const TPortCheck LCheck = CheckSerialPort("COM199");
    EXPECT_EQ(LCheck.Problem, TPortProblem::ppMissing) << LCheck.Reason;
    EXPECT_NE(LCheck.Reason.find("no such port"), std::string::npos) << LCheck.Reason;
}
