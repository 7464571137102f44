// The kernel's serial devices, read from sysfs.
#pragma once

#include "app/PortInfo.h"
#include "platform/Text.h"

#include <filesystem>
#include <vector>

// Appends "ADevDir/NAME" for every entry NAME of ATtyClassDir (normally
// /sys/class/tty) that has a device driver, except ports of unknown type
// (the 8250 driver's phantom ttyS* of a PC). False when the folder cannot be
// listed to its end; what was read stays in APorts. With AInfo, each port's
// description goes there too (DescribeTtyDevice).
bool ListKernelSerialPorts(const std::filesystem::path& ATtyClassDir,
                           const std::filesystem::path& ADevDir, std::vector<UnicodeString>& APorts,
                           std::vector<TPortInfo>* AInfo = nullptr);

// What sysfs tells of the tty ATtyDir (/sys/class/tty/NAME): from its device
// up towards ASysRoot (/sys), the first driver that is not the serial core's
// own, and the USB device (the folder with idVendor and idProduct) when
// there is one. Tests give a tree of their own.
TPortInfo DescribeTtyDevice(const std::filesystem::path& ATtyDir,
                            const std::filesystem::path& ASysRoot);
