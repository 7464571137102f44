// What the system knows of each serial port of the list (--list): a USB
// adapter's names, IDs, serial number and place on the bus, a built-in
// port's driver, a simulator's port.
#pragma once

#include "platform/Text.h"

#include <string>
#include <vector>

struct TPortInfo {
    UnicodeString Name;
    // "usb", "built-in" or "simulated"; empty when the system says nothing.
    std::string Kind;
    std::string Vendor, Product;     // USB: the device's own names
    std::string VendorId, ProductId; // USB: four hex digits each
    std::string Serial;              // USB: the device's serial number
    std::string UsbPath;             // USB: its place on the bus, "1-1.2"
    std::string Driver;
    std::string Bus;          // built-in: the device the port sits on, "pnp 00:00"
    std::string FriendlyName; // Windows: the device manager's name
    std::string HardwareId;   // Windows: the first hardware ID
    std::string Device;       // Windows: the kernel device behind the name, \Device\Serial0
};

// The ports of GetSysComList, in its order, each with what is known of it.
// Platform file (SysComList).
std::vector<TPortInfo> GetSysComListInfo();

// The description as one line ("USB adapter: FTDI FT232R USB UART
// (0403:6001), serial A50285BI, USB path 1-1.2, driver ftdi_sio"); empty when
// nothing is known.
std::string DescribePort(const TPortInfo& APort);

// The --list document: the exit code and one entry per port with its name,
// description and the fields known.
std::string PortListJson(const std::vector<TPortInfo>& APorts, int AExitCode);

// Orders APorts as SortComList orders their names.
void SortPortInfo(std::vector<TPortInfo>& APorts);
