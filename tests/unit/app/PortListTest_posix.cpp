// The port list on Linux: the kernel's serial devices from a sysfs-like tree.
#include "app/MainForm.h"
#include "app/SysComList_posix.h"
#include "tests/support/ScratchDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {
namespace fs = std::filesystem;

class KernelPortsTest : public ::testing::Test {
protected:
    KernelPortsTest() {
        fs::create_directories(Root / "class" / "tty");
        for (const char* LDriver : {"serial8250", "ftdi_sio", "cdc_acm", "port"})
            fs::create_directories(Root / "drivers" / LDriver);
    }

    // A tty entry; with a driver it gets device/driver, with a type a type file.
    void AddTty(const std::string& AName, const std::string& ADriver = {},
                const std::string& AType = {}) {
        const fs::path LDir = Root / "class" / "tty" / AName;
        fs::create_directories(LDir / "device");
        if (!ADriver.empty())
            fs::create_directory_symlink(Root / "drivers" / ADriver, LDir / "device" / "driver");
        if (!AType.empty())
            std::ofstream(LDir / "type") << AType << "\n";
    }

    TScratchDir FScratch{"scaleprobe-tty"};
    const fs::path& Root = FScratch.Path();
};

TEST_F(KernelPortsTest, ListsPortsWithADriverAndLeavesOutPortsOfUnknownType) {
    AddTty("tty0");
    AddTty("console");
    AddTty("ttyS0", "serial8250", "0");
    AddTty("ttyS1", "serial8250", "4");
    // Newer kernels bind serial-core ports to the "port" driver.
    AddTty("ttyS2", "port", "0");
    AddTty("ttyS3", "port", "4");
    AddTty("ttyUSB0", "ftdi_sio");
    AddTty("ttyACM0", "cdc_acm");
    std::vector<UnicodeString> LPorts;
    ASSERT_TRUE(ListKernelSerialPorts(Root / "class" / "tty", "/dev", LPorts));
    SortComList(LPorts);
    EXPECT_EQ(LPorts, (std::vector<UnicodeString>{u"/dev/ttyACM0", u"/dev/ttyS1", u"/dev/ttyS3",
                                                  u"/dev/ttyUSB0"}));
}

TEST_F(KernelPortsTest, NoSerialDeviceGivesAnEmptyList) {
    AddTty("tty1");
    std::vector<UnicodeString> LPorts;
    EXPECT_TRUE(ListKernelSerialPorts(Root / "class" / "tty", "/dev", LPorts));
    EXPECT_TRUE(LPorts.empty());
}

TEST_F(KernelPortsTest, MissingFolderFailsAndKeepsWhatWasThere) {
    std::vector<UnicodeString> LPorts{u"/dev/keep"};
    EXPECT_FALSE(ListKernelSerialPorts(Root / "missing", "/dev", LPorts));
    EXPECT_EQ(LPorts, std::vector<UnicodeString>{u"/dev/keep"});
}

} // namespace
