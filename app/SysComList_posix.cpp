// The port list on Linux: the kernel's serial devices plus the simulator's
// virtual ports.
#include "app/SysComList_posix.h"
#include "app/MainForm.h"
#include "platform/VirtualPorts.h"

#include <algorithm>
#include <fstream>
#include <system_error>

namespace {
namespace fs = std::filesystem;

// Levels from a tty's device up to its USB device: port, interface, device
// on the deepest hubs, with room to spare.
constexpr int CMaxWalk = 24;

// The serial core lists every port a driver could have (the 8250 driver's
// ttyS0..ttyS31 on a PC); those it found no UART on have type 0 (unknown).
bool IsPhantomPort(const fs::path& ATtyDir) {
    std::ifstream LType(ATtyDir / "type");
    int LValue = -1;
    return LType >> LValue && LValue == 0;
}

// The first line of a sysfs attribute, without blanks at its end.
std::string Attribute(const fs::path& AFile) {
    std::ifstream LIn(AFile);
    std::string LLine;
    std::getline(LIn, LLine);
    if (LLine.size() > 256)
        LLine.resize(256);
    while (!LLine.empty() && (LLine.back() == ' ' || LLine.back() == '\r'))
        LLine.pop_back();
    return LLine;
}

// The name a symbolic link such as "driver" or "subsystem" points to.
std::string LinkTarget(const fs::path& ALink) {
    std::error_code LError;
    const fs::path LTarget = fs::read_symlink(ALink, LError);
    return LError ? std::string() : LTarget.filename().string();
}

bool IsUnder(const fs::path& APath, const fs::path& ARoot) {
    const auto [LRootEnd, LPathAt] =
        std::mismatch(ARoot.begin(), ARoot.end(), APath.begin(), APath.end());
    return LRootEnd == ARoot.end();
}
} // namespace

TPortInfo DescribeTtyDevice(const fs::path& ATtyDir, const fs::path& ASysRoot) {
    TPortInfo LInfo;
    std::error_code LError;
    const fs::path LRoot = fs::weakly_canonical(ASysRoot, LError);
    fs::path LDir = fs::canonical(ATtyDir / "device", LError);
    if (LError)
        return LInfo;
    std::string LBus;
    for (int I = 0; I < CMaxWalk && IsUnder(LDir, LRoot) && LDir != LRoot;
         ++I, LDir = LDir.parent_path()) {
        const std::string LDriver = LinkTarget(LDir / "driver");
        // Newer kernels put the serial core's "port" and "ctrl" devices
        // between a UART and its tty; the UART's own driver is further up.
        if (LInfo.Driver.empty() && !LDriver.empty() &&
            LinkTarget(LDir / "subsystem") != "serial-base") {
            LInfo.Driver = LDriver;
            LBus = LinkTarget(LDir / "subsystem") + " " + LDir.filename().string();
        }
        if (fs::exists(LDir / "idVendor", LError) && fs::exists(LDir / "idProduct", LError)) {
            LInfo.Kind = "usb";
            LInfo.Vendor = Attribute(LDir / "manufacturer");
            LInfo.Product = Attribute(LDir / "product");
            LInfo.VendorId = Attribute(LDir / "idVendor");
            LInfo.ProductId = Attribute(LDir / "idProduct");
            LInfo.Serial = Attribute(LDir / "serial");
            LInfo.UsbPath = LDir.filename().string();
            return LInfo;
        }
    }
    if (!LInfo.Driver.empty()) {
        LInfo.Kind = "built-in";
        LInfo.Bus = LBus;
    }
    return LInfo;
}

bool ListKernelSerialPorts(const fs::path& ATtyClassDir, const fs::path& ADevDir,
                           std::vector<UnicodeString>& APorts, std::vector<TPortInfo>* AInfo) {
    std::error_code LError;
    fs::directory_iterator LIt(ATtyClassDir, LError);
    if (LError)
        return false;
    for (const fs::directory_iterator LEnd; LIt != LEnd; LIt.increment(LError)) {
        if (LError)
            return false;
        const fs::path LTtyDir = LIt->path();
        std::error_code LLinkError;
        const fs::path LDriver = fs::read_symlink(LTtyDir / "device" / "driver", LLinkError);
        if (LLinkError || LDriver.empty() || IsPhantomPort(LTtyDir))
            continue;
        APorts.push_back(Utf8ToUnicode((ADevDir / LTtyDir.filename()).string()));
        if (AInfo) {
            // /sys/class/tty: the walk stays inside /sys.
            AInfo->push_back(DescribeTtyDevice(LTtyDir, ATtyClassDir.parent_path().parent_path()));
            AInfo->back().Name = APorts.back();
        }
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

std::vector<TPortInfo> GetSysComListInfo() {
    std::vector<UnicodeString> LNames;
    std::vector<TPortInfo> LList;
    if (!ListKernelSerialPorts("/sys/class/tty", "/dev", LNames, &LList))
        ShowMessage(CMsgPortListError);
    for (const UnicodeString& LPort : ListVirtualPorts()) {
        LList.push_back(TPortInfo{});
        LList.back().Name = LPort;
        LList.back().Kind = "simulated";
    }
    SortPortInfo(LList);
    return LList;
}
