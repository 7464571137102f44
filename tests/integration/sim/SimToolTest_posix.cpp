#include "PortReader.h"
#include "platform/VirtualPorts.h"
#include "tests/support/ScratchDir.h"
#include "tests/support/SimProcess.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <memory>
#include <thread>
#include <unistd.h>

namespace {

// A private folder for the port records of this test.
class SimToolTest : public ::testing::Test {
protected:
    bool Listed(const std::string& APath) {
        const auto LPorts = ListVirtualPorts();
        return std::find(LPorts.begin(), LPorts.end(), Utf8ToUnicode(APath)) != LPorts.end();
    }
    size_t RecordCount() {
        return static_cast<size_t>(std::distance(std::filesystem::directory_iterator(FDir.Path()),
                                                 std::filesystem::directory_iterator()));
    }

    TScratchDir FDir{"sp-ports"};
    TEnvScope FPortsDir{"SCALEPROBE_PORTS_DIR", FDir.Path().string()};
};

size_t CountFrames(const std::vector<uint8_t>& ABytes) {
    size_t LCount = 0;
    for (size_t I = 0; I + 12 <= ABytes.size(); ++I)
        if (ABytes[I] == 0x02 && ABytes[I + 11] == 0x03)
            ++LCount;
    return LCount;
}

TEST_F(SimToolTest, AnnouncesItsPortAndWithdrawsOnEverySignal) {
    for (int LSignal : {SIGTERM, SIGINT, SIGHUP, SIGQUIT}) {
        TSimProcess LSim({"--baud", "9600"});
        EXPECT_EQ(LSim.PortPath().rfind("/dev/", 0), 0u) << LSim.PortPath();
        EXPECT_TRUE(Listed(LSim.PortPath()));
        EXPECT_EQ(LSim.Stop(LSignal), 0) << LSim.ErrorOutput();
        EXPECT_FALSE(Listed(LSim.PortPath()));
        EXPECT_EQ(RecordCount(), 0u);
    }
}

TEST_F(SimToolTest, WithdrawsAtTheEndOfItsRunTime) {
    TSimProcess LSim({"--duration", "0.5"});
    EXPECT_TRUE(Listed(LSim.PortPath()));
    EXPECT_EQ(LSim.Wait(10000), 0);
    EXPECT_EQ(RecordCount(), 0u);
}

TEST_F(SimToolTest, RecordOfADeadProcessIsNotListed) {
    TSimProcess LSim({});
    const std::string LPath = LSim.PortPath();
    LSim.Stop(SIGKILL); // no chance to withdraw
    EXPECT_EQ(RecordCount(), 1u);
    EXPECT_FALSE(Listed(LPath));
    EXPECT_EQ(RecordCount(), 0u); // and the stale record is gone
}

TEST_F(SimToolTest, BadOptionsAreRefused) {
    for (std::vector<std::string> LArgs : {std::vector<std::string>{"--protocol", "modbus"},
                                           {"--baud", "fast"},
                                           {"--stop-bits", "3"},
                                           {"--weights", "ramp:0:10:-1"},
                                           {"--frobnicate"},
                                           {"--drop-rate", "1.5"},
                                           {"--data-bits", "6"},
                                           {"--parity", "mark"},
                                           {"--ascii-unit", "kg\r"},
                                           {"--protocol", "xk3168", "--decimals", "7"}}) {
        EXPECT_THROW(TSimProcess LSim(LArgs, 5000), std::runtime_error) << LArgs[0];
    }
}

TEST_F(SimToolTest, NoBacklogBuildsUpWhileThePortIsClosed) {
    TSimProcess LSim({"--baud", "9600"});
    {
        // Open once, so that a later open is not the first.
        TPortReader LFirst(LSim.PortPath(), 9600);
        EXPECT_GT(LFirst.ReadFor(300).size(), 100u);
    }
    // Let the indicator talk to the closed port: two seconds would be some
    // 1900 bytes of backlog.
    std::this_thread::sleep_for(std::chrono::seconds(2));
    TPortReader LProbe(LSim.PortPath(), 9600);
    const auto LDuringClosed = LProbe.ReadFor(0);
    const auto LAfter = LProbe.ReadFor(200);
    // Some 190 bytes of the line; a loaded machine stretches the read (a CI
    // run got 848), still well short of the backlog.
    EXPECT_LT(LDuringClosed.size() + LAfter.size(), 1200u);
}

TEST_F(SimToolTest, SameRateGivesWholeFramesAtTheLinesPace) {
    TSimProcess LSim({"--baud", "4800", "--stop-bits", "2", "--weights", "const:321"});
    TPortReader LPort(LSim.PortPath(), 4800); // one stop bit: still received
    LPort.ReadFor(100);
    const auto LBytes = LPort.ReadFor(2000);
    // 4800 baud with two stop bits: 11 bits a byte, about 436 bytes a second,
    // 872 in the two seconds. The upper bound leaves room for a simulator that
    // catches up after a stall on a loaded machine; a line model that lets the
    // stream through unpaced would pass thousands.
    EXPECT_GT(LBytes.size(), 600u);
    EXPECT_LT(LBytes.size(), 1310u);
    EXPECT_GT(CountFrames(LBytes), 50u);
    const std::vector<uint8_t> LFrame{0x02, '+', '0', '0', '0', '3', '2', '1', '0'};
    EXPECT_NE(std::search(LBytes.begin(), LBytes.end(), LFrame.begin(), LFrame.end()),
              LBytes.end());
}

TEST_F(SimToolTest, SlowerApplicationRateLimitsTheByteRate) {
    TSimProcess LSim({"--baud", "19200"});
    TPortReader LPort(LSim.PortPath(), 1200);
    LPort.ReadFor(100);
    const auto LBytes = LPort.ReadFor(2000);
    // A receiver at 1200 completes at most 1200 / 9.5 bytes a second (half as
    // much again for a stall on a loaded machine); the sender's 19200 would
    // give some 3800.
    EXPECT_LT(LBytes.size(), 3 * 127u + 30);
    EXPECT_GT(LBytes.size(), 20u);
    EXPECT_EQ(CountFrames(LBytes), 0u);
}

TEST_F(SimToolTest, FollowsARateChangeOnTheOpenPort) {
    TSimProcess LSim({"--baud", "2400"});
    TPortReader LPort(LSim.PortPath(), 9600);
    LPort.ReadFor(300);
    EXPECT_EQ(CountFrames(LPort.ReadFor(700)), 0u);
    LPort.SetBaud(2400);
    LPort.ReadFor(200);
    LPort.Flush();
    EXPECT_GT(CountFrames(LPort.ReadFor(1000)), 5u);
}

TEST_F(SimToolTest, FramesPerSecondAndCount) {
    TSimProcess LSim({"--baud", "9600", "--fps", "5", "--count", "6"});
    TPortReader LPort(LSim.PortPath(), 9600);
    const auto LBytes = LPort.ReadFor(2500);
    // Six frames after the open, at five a second; the first may be cut.
    EXPECT_GE(CountFrames(LBytes), 5u);
    EXPECT_LE(CountFrames(LBytes), 6u);
    EXPECT_EQ(LSim.Wait(5000), 0);
}

// The port rests hung up until an opener sets its rate (our serial component
// gives a port back the settings it found): bytes at the indicator's rate
// there would reach an opener before its own settings, purge or not.
TEST_F(SimToolTest, PortNobodyHasSetRestsDead) {
    TSimProcess LSim({"--baud", "9600"});
    const int LFd = open(LSim.PortPath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(LFd, 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    uint8_t LBuffer[256];
    EXPECT_LE(read(LFd, LBuffer, sizeof LBuffer), 0);
    close(LFd);
    TPortReader LPort(LSim.PortPath(), 9600);
    EXPECT_GT(CountFrames(LPort.ReadFor(500)), 5u);
}

// What the line made before the application flushed its input never reaches
// it, also when the simulator could not run for a while in between.
TEST_F(SimToolTest, FlushDropsWhatTheLineMadeBeforeIt) {
    TSimProcess LSim({"--baud", "9600"});
    TPortReader LPort(LSim.PortPath(), 9600);
    EXPECT_GT(LPort.ReadFor(300).size(), 100u);
    ASSERT_TRUE(LSim.Pause());
    // 400 ms of the line: some 380 bytes, made once the simulator runs again.
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    LPort.Flush();
    ASSERT_TRUE(LSim.Resume());
    // Some 40 bytes, and about one a millisecond for as long as a loaded
    // machine stretches the read (a CI run got 464); without the flush the
    // 380 would come on top.
    const auto LReadStart = std::chrono::steady_clock::now();
    const auto LAfter = LPort.ReadFor(40);
    const auto LReadMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - LReadStart)
                             .count();
    EXPECT_LT(LAfter.size(), 150u + static_cast<size_t>(LReadMs)) << LReadMs << " ms";
}

// "=" frames of seven characters, each followed by the next "=".
size_t CountEqFrames(const std::vector<uint8_t>& ABytes) {
    size_t LCount = 0;
    for (size_t I = 0; I + 8 < ABytes.size(); ++I)
        if ((ABytes[I] & 0x7F) == '=' && (ABytes[I + 8] & 0x7F) == '=')
            ++LCount;
    return LCount;
}

// A simulator that could not run for seconds (a loaded machine) catches up
// with its line at once and goes on; and a port opened meanwhile gets whole
// frames, its receiver coming up between two bytes of the back-to-back
// stream.
TEST_F(SimToolTest, GoesOnAfterItCouldNotRunForSeconds) {
    const std::vector<std::string> LArgs{"--protocol",  "reversed-eq", "--baud",   "115200",
                                         "--data-bits", "7",           "--parity", "odd"};
    for (const bool LReopen : {false, true}) {
        TSimProcess LSim(LArgs);
        auto LPort = std::make_unique<TPortReader>(LSim.PortPath(), 115200);
        EXPECT_GT(CountEqFrames(LPort->ReadFor(300)), 200u);
        ASSERT_TRUE(LSim.Pause());
        if (LReopen) {
            LPort.reset();
            LPort = std::make_unique<TPortReader>(LSim.PortPath(), 115200);
        }
        std::this_thread::sleep_for(std::chrono::seconds(4));
        ASSERT_TRUE(LSim.Resume());
        LPort->ReadFor(1000); // the catching up
        LPort->Flush();
        EXPECT_GT(CountEqFrames(LPort->ReadFor(1000)), 600u) << (LReopen ? "reopened" : "open");
    }
}

} // namespace
