#include "platform/VirtualPorts.h"

// Windows lists its ports from the registry; no program announces others.
std::filesystem::path VirtualPortsDir(bool) {
    return {};
}

bool VirtualPortOwnerAlive(uint32_t) {
    return false;
}

bool IsTerminalDevicePath(const std::filesystem::path&) {
    return false;
}

bool ReadRecordLine(const std::filesystem::path&, std::string&) {
    return false;
}
