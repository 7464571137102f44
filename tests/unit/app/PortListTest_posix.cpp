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

// A sysfs-like tree with a device each: an FTDI adapter (its tty under the
// usb-serial port), an ACM modem (its tty on the USB interface), a UART under
// the serial core's port and ctrl devices (newer kernels), and one bound
// straight to serial8250 (older kernels).
TEST_F(KernelPortsTest, DescribesEachPortFromTheDevicesAboveIt) {
    const fs::path LDevices = Root / "devices";
    const auto LDevice = [&](const fs::path& ADir, const std::string& ADriver,
                             const std::string& ASubsystem) {
        fs::create_directories(ADir);
        fs::create_directories(Root / "bus" / ASubsystem / "drivers" / ADriver);
        fs::create_directory_symlink(Root / "bus" / ASubsystem / "drivers" / ADriver,
                                     ADir / "driver");
        fs::create_directory_symlink(Root / "bus" / ASubsystem, ADir / "subsystem");
    };
    const auto LUsbDevice = [&](const fs::path& ADir,
                                std::vector<std::pair<std::string, std::string>> AAttributes) {
        LDevice(ADir, "usb", "usb");
        for (const auto& [LName, LValue] : AAttributes)
            std::ofstream(ADir / LName) << LValue << "\n";
    };
    const auto LTty = [&](const std::string& AName, const fs::path& ADevice) {
        fs::create_directories(Root / "class" / "tty" / AName);
        fs::create_directory_symlink(ADevice, Root / "class" / "tty" / AName / "device");
        std::ofstream(Root / "class" / "tty" / AName / "type") << "4\n";
    };
    const fs::path LHub = LDevices / "pci0000:00" / "0000:00:14.0" / "usb1" / "1-1";
    LUsbDevice(LHub / "1-1.2", {{"idVendor", "0403"},
                                {"idProduct", "6001"},
                                {"manufacturer", "FTDI"},
                                {"product", "FT232R USB UART"},
                                {"serial", "A50285BI"}});
    LDevice(LHub / "1-1.2" / "1-1.2:1.0", "ftdi_sio", "usb");
    LDevice(LHub / "1-1.2" / "1-1.2:1.0" / "ttyUSB0", "ftdi_sio", "usb-serial");
    LTty("ttyUSB0", LHub / "1-1.2" / "1-1.2:1.0" / "ttyUSB0");
    LUsbDevice(LHub / "1-1.3", {{"idVendor", "2341"}, {"idProduct", "0043"}});
    LDevice(LHub / "1-1.3" / "1-1.3:1.0", "cdc_acm", "usb");
    LTty("ttyACM0", LHub / "1-1.3" / "1-1.3:1.0");
    const fs::path LPnp = LDevices / "pnp0" / "00:00";
    LDevice(LPnp, "serial", "pnp");
    LDevice(LPnp / "00:00:0", "ctrl", "serial-base");
    LDevice(LPnp / "00:00:0" / "00:00:0.0", "port", "serial-base");
    LTty("ttyS0", LPnp / "00:00:0" / "00:00:0.0");
    LDevice(LDevices / "platform" / "serial8250", "serial8250", "platform");
    LTty("ttyS1", LDevices / "platform" / "serial8250");

    std::vector<UnicodeString> LPorts;
    std::vector<TPortInfo> LInfo;
    ASSERT_TRUE(ListKernelSerialPorts(Root / "class" / "tty", "/dev", LPorts, &LInfo));
    SortPortInfo(LInfo);
    std::vector<std::string> LLines;
    for (const TPortInfo& LPort : LInfo)
        LLines.push_back(UnicodeToUtf8(LPort.Name) + "  " + DescribePort(LPort));
    EXPECT_EQ(LLines, (std::vector<std::string>{
                          "/dev/ttyACM0  USB adapter: 2341:0043, USB path 1-1.3, driver cdc_acm",
                          "/dev/ttyS0  built-in port, driver serial on pnp 00:00",
                          "/dev/ttyS1  built-in port, driver serial8250 on platform serial8250",
                          "/dev/ttyUSB0  USB adapter: FTDI FT232R USB UART (0403:6001), serial "
                          "A50285BI, USB path 1-1.2, driver ftdi_sio",
                      }));
    // Nothing above the tree's root is looked at.
    EXPECT_NE(
        DescribeTtyDevice(Root / "class" / "tty" / "ttyUSB0", LHub / "1-1.2" / "1-1.2:1.0").Kind,
        "usb");
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
