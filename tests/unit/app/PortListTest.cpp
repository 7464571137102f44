// The order of the port list, and the window's list from the system's.
#include "app/MainForm.h"
#include "app/PortInfo.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

namespace {

TEST(SortComList, CaseInsensitiveCharacterByCharacterWithDuplicates) {
    std::vector<UnicodeString> LList{u"COM2", u"COM10", u"com1", u"COM1", u"/dev/ttyUSB0", u"COM2"};
    SortComList(LList);
    EXPECT_EQ(LList, (std::vector<UnicodeString>{u"/dev/ttyUSB0", u"com1", u"COM1", u"COM10",
                                                 u"COM2", u"COM2"}));
}

TEST(SortComList, PrefixSortsFirst) {
    std::vector<UnicodeString> LList{u"ttyS10", u"ttyS1", u"TTYS"};
    SortComList(LList);
    EXPECT_EQ(LList, (std::vector<UnicodeString>{u"TTYS", u"ttyS1", u"ttyS10"}));
}

TEST(PortList, FormCreateSelectsTheFirstPortOfTheSystemList) {
    THeadlessLoop LLoop;
    HeadlessControls().ClearMessages();
    TForm1 LForm;
    const std::vector<UnicodeString> LList = GetSysComList();
    EXPECT_EQ(LForm.ComboBox1->Items(), LList);
    EXPECT_EQ(LForm.ComboBox1->ItemIndex(), LList.empty() ? -1 : 0);
    EXPECT_TRUE(HeadlessControls().Messages().empty());
}

TEST(PortInfo, TheListInTheWindowsOrderWithEachPortsDescription) {
    THeadlessLoop LLoop;
    HeadlessControls().ClearMessages();
    const std::vector<TPortInfo> LInfo = GetSysComListInfo();
    std::vector<UnicodeString> LNames;
    for (const TPortInfo& LPort : LInfo)
        LNames.push_back(LPort.Name);
    EXPECT_EQ(LNames, GetSysComList());
}

TEST(PortInfo, DescriptionsAndTheirDocument) {
    TPortInfo LUsb;
    LUsb.Name = u"/dev/ttyUSB0";
    LUsb.Kind = "usb";
    LUsb.Vendor = "FTDI";
    LUsb.Product = "FT232R USB UART";
    LUsb.VendorId = "0403";
    LUsb.ProductId = "6001";
    LUsb.Serial = "A50285BI";
    LUsb.UsbPath = "1-1.2";
    LUsb.Driver = "ftdi_sio";
    TPortInfo LIdsOnly;
    LIdsOnly.Kind = "usb";
    LIdsOnly.VendorId = "1a86";
    LIdsOnly.ProductId = "7523";
    TPortInfo LWindows;
    LWindows.Name = u"COM1";
    LWindows.Kind = "built-in";
    LWindows.FriendlyName = "Communications Port (COM1)";
    LWindows.HardwareId = "ACPI\\PNP0501";
    LWindows.Driver = "Serial";
    LWindows.Device = "\\Device\\Serial0";
    TPortInfo LSim;
    LSim.Name = u"/dev/pts/3";
    LSim.Kind = "simulated";
    TPortInfo LUnknown;
    LUnknown.Name = u"/dev/ttyX";
    EXPECT_EQ(DescribePort(LUsb), "USB adapter: FTDI FT232R USB UART (0403:6001), serial A50285BI, "
                                  "USB path 1-1.2, driver ftdi_sio");
    EXPECT_EQ(DescribePort(LIdsOnly), "USB adapter: 1a86:7523");
    EXPECT_EQ(DescribePort(LWindows), "built-in port: Communications Port (COM1), hardware ID "
                                      "ACPI\\PNP0501, driver Serial, device \\Device\\Serial0");
    EXPECT_EQ(DescribePort(LSim), "simulated indicator");
    EXPECT_EQ(DescribePort(LUnknown), "");

    // The document has the line and the fields known, no empty ones.
    const nlohmann::json LDoc = nlohmann::json::parse(PortListJson({LUsb, LUnknown}, 0));
    EXPECT_EQ(LDoc["ports"][0]["serial"], "A50285BI");
    EXPECT_EQ(LDoc["ports"][0]["description"], DescribePort(LUsb));
    EXPECT_EQ(LDoc["ports"][1],
              nlohmann::json::parse(R"({"port": "/dev/ttyX", "description": ""})"));
}

} // namespace
