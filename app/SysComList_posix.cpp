// The port list on Linux: the kernel's serial devices plus the simulator's
// virtual ports.
#include "app/SysComList_posix.h"
#include "app/MainForm.h"
#include "platform/VirtualPorts.h"

#include <fstream>
#include <system_error>

namespace {
// The serial core lists every port a driver could have (the 8250 driver's
// ttyS0..ttyS31 on a PC); those it found no UART on have type 0 (unknown).
bool IsPhantomPort(const std::filesystem::path& ATtyDir) {
    std::ifstream LType(ATtyDir / "type");
    int LValue = -1;
    return LType >> LValue && LValue == 0;
}
} // namespace

bool ListKernelSerialPorts(const std::filesystem::path& ATtyClassDir,
                           const std::filesystem::path& ADevDir,
                           std::vector<UnicodeString>& APorts) {
    std::error_code LError;
    std::filesystem::directory_iterator LIt(ATtyClassDir, LError);
    if (LError)
        return false;
    for (const std::filesystem::directory_iterator LEnd; LIt != LEnd; LIt.increment(LError)) {
        if (LError)
            return false;
        const std::filesystem::path LTtyDir = LIt->path();
        std::error_code LLinkError;
        const std::filesystem::path LDriver =
            std::filesystem::read_symlink(LTtyDir / "device" / "driver", LLinkError);
        if (LLinkError || LDriver.empty() || IsPhantomPort(LTtyDir))
            continue;
        APorts.push_back(Utf8ToUnicode((ADevDir / LTtyDir.filename()).string()));
    }
    return !LError;
}

std::vector<UnicodeString> GetSysComList() {
    std::vector<UnicodeString> LList;
    if (!ListKernelSerialPorts("/sys/class/tty", "/dev", LList))
        ShowMessage(CMsgPortListError);
    for (const UnicodeString& LPort : ListVirtualPorts())
        LList.push_back(LPort);
    SortComList(LList);
    return LList;
}
