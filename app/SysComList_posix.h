// The kernel's serial devices, read from sysfs.
#pragma once

#include "platform/Text.h"

#include <filesystem>
#include <vector>

// Appends "ADevDir/NAME" for every entry NAME of ATtyClassDir (normally
// /sys/class/tty) that has a device driver, except ports of unknown type
// (the 8250 driver's phantom ttyS* of a PC). False when the folder cannot be
// listed to its end; what was read stays in APorts.
bool ListKernelSerialPorts(const std::filesystem::path& ATtyClassDir,
                           const std::filesystem::path& ADevDir,
                           std::vector<UnicodeString>& APorts);
