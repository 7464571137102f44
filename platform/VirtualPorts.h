// Virtual serial ports: terminal devices that a program on this machine plays
// (the indicator simulator). A program announces its port while it runs; the
// port list shows the announced ports beside the system's own.
#pragma once

#include "platform/Text.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// Records APath (a terminal device) as a virtual port of the calling process.
// False when the record cannot be written (no usable folder, say).
bool AnnounceVirtualPort(const UnicodeString& APath);
// Removes the calling process's record of APath; nothing when there is none.
void WithdrawVirtualPort(const UnicodeString& APath);
// The ports announced by processes that still run and whose device still
// exists, sorted and without duplicates. Records left by processes that are
// gone are removed on the way.
std::vector<UnicodeString> ListVirtualPorts();

// Backend. The folder that holds the records, private to the user; empty
// when the platform has none or it is not safe to use. On POSIX:
// $SCALEPROBE_PORTS_DIR, else $XDG_RUNTIME_DIR/scaleprobe/ports, else
// /tmp/scaleprobe-<uid>/ports. ACreate makes it (owner only) when missing.
std::filesystem::path VirtualPortsDir(bool ACreate);
// Backend: whether the process still runs.
bool VirtualPortOwnerAlive(uint32_t AProcessId);
// Backend: the first line of APath when it is a regular file; never waits
// (a FIFO or a device is not read). False when it is not, or is empty.
bool ReadRecordLine(const std::filesystem::path& APath, std::string& ALine);
// Backend: whether APath names a terminal device.
bool IsTerminalDevicePath(const std::filesystem::path& APath);
