// The port list on Windows: the values of the registry's SERIALCOMM key; the
// descriptions from the device manager's Ports class (SetupAPI).
#include "app/MainForm.h"
#include "app/PortInfo.h"
#include "ui/Controls.h"

#include "platform/Windows_win32.h"

#include <setupapi.h>

#include <algorithm>
#include <cctype>
#include <map>

namespace {
constexpr DWORD CNameChars = 256;
constexpr DWORD CDataBytes = 256;
// The device setup class of serial and parallel ports.
constexpr GUID CPortsClass = {
    0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

// The value's data as text, up to and not including its terminating null
// (the data need not have one).
UnicodeString DataText(const BYTE* AData, DWORD ASize) {
    UnicodeString LText;
    for (DWORD I = 0; I + 1 < ASize; I += 2) {
        const char16_t LChar = static_cast<char16_t>(AData[I] | (AData[I + 1] << 8));
        if (LChar == 0)
            break;
        LText.push_back(LChar);
    }
    return LText;
}

UnicodeString Text(const wchar_t* AText) {
    // wchar_t is UTF-16 on Windows.
    return reinterpret_cast<const char16_t*>(AText);
}

// SERIALCOMM's values, device name and port name each; a key that cannot be
// read to its end shows the port-list message box.
void ReadSerialComm(std::vector<std::pair<UnicodeString, UnicodeString>>& APorts) {
    HKEY LKey = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &LKey) !=
        ERROR_SUCCESS) {
        ShowMessage(CMsgPortListError);
        return;
    }
    for (DWORD LIndex = 0;; ++LIndex) {
        wchar_t LName[CNameChars];
        DWORD LNameLen = CNameChars;
        BYTE LData[CDataBytes];
        DWORD LDataLen = CDataBytes;
        const LSTATUS LResult =
            RegEnumValueW(LKey, LIndex, LName, &LNameLen, nullptr, nullptr, LData, &LDataLen);
        if (LResult == ERROR_NO_MORE_ITEMS)
            break;
        if (LResult != ERROR_SUCCESS) {
            // Also a name or data too long for its buffer (ERROR_MORE_DATA).
            ShowMessage(CMsgPortListError);
            break;
        }
        APorts.emplace_back(Text(LName), DataText(LData, LDataLen));
    }
    RegCloseKey(LKey);
}

std::string Property(HDEVINFO ASet, SP_DEVINFO_DATA& ADevice, DWORD AProperty) {
    wchar_t LBuf[512] = {};
    if (!SetupDiGetDeviceRegistryPropertyW(ASet, &ADevice, AProperty, nullptr,
                                           reinterpret_cast<BYTE*>(LBuf), sizeof LBuf - 4, nullptr))
        return {};
    // A multi-string gives its first string.
    return UnicodeToUtf8(Text(LBuf));
}

std::string InstanceId(HDEVINFO ASet, SP_DEVINFO_DATA& ADevice) {
    wchar_t LBuf[512] = {};
    if (!SetupDiGetDeviceInstanceIdW(ASet, &ADevice, LBuf, 511, nullptr))
        return {};
    return UnicodeToUtf8(Text(LBuf));
}

UnicodeString PortNameOfDevice(HDEVINFO ASet, SP_DEVINFO_DATA& ADevice) {
    const HKEY LKey =
        SetupDiOpenDevRegKey(ASet, &ADevice, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (LKey == INVALID_HANDLE_VALUE)
        return {};
    BYTE LData[CDataBytes] = {};
    DWORD LSize = CDataBytes;
    DWORD LType = 0;
    UnicodeString LName;
    if (RegQueryValueExW(LKey, L"PortName", nullptr, &LType, LData, &LSize) == ERROR_SUCCESS &&
        LType == REG_SZ)
        LName = DataText(LData, LSize);
    RegCloseKey(LKey);
    return LName;
}

// The four hex digits after "VID_" or "PID_" in a hardware ID, lower case.
std::string IdAfter(const std::string& AHardwareId, const char* AKey) {
    std::string LUpper = AHardwareId;
    std::transform(LUpper.begin(), LUpper.end(), LUpper.begin(), [](char C) {
        return static_cast<char>(std::toupper(static_cast<unsigned char>(C)));
    });
    const size_t LAt = LUpper.find(AKey);
    if (LAt == std::string::npos || LAt + 8 > LUpper.size())
        return {};
    std::string LId = AHardwareId.substr(LAt + 4, 4);
    std::transform(LId.begin(), LId.end(), LId.begin(), [](char C) {
        return static_cast<char>(std::tolower(static_cast<unsigned char>(C)));
    });
    return LId;
}

TPortInfo DeviceInfo(HDEVINFO ASet, SP_DEVINFO_DATA& ADevice) {
    TPortInfo LInfo;
    LInfo.FriendlyName = Property(ASet, ADevice, SPDRP_FRIENDLYNAME);
    if (LInfo.FriendlyName.empty())
        LInfo.FriendlyName = Property(ASet, ADevice, SPDRP_DEVICEDESC);
    LInfo.HardwareId = Property(ASet, ADevice, SPDRP_HARDWAREID);
    LInfo.Driver = Property(ASet, ADevice, SPDRP_SERVICE);
    LInfo.VendorId = IdAfter(LInfo.HardwareId, "VID_");
    LInfo.ProductId = IdAfter(LInfo.HardwareId, "PID_");
    if (!LInfo.VendorId.empty() || LInfo.HardwareId.rfind("USB\\", 0) == 0) {
        LInfo.Kind = "usb";
        LInfo.Vendor = Property(ASet, ADevice, SPDRP_MFG);
        LInfo.UsbPath = Property(ASet, ADevice, SPDRP_LOCATION_INFORMATION);
        // USB\VID_0403&PID_6001\A50285BI: the last part is the serial number
        // when the device has one (Windows makes up one with '&' otherwise).
        const std::string LInstance = InstanceId(ASet, ADevice);
        const size_t LSlash = LInstance.rfind('\\');
        if (LInstance.rfind("USB\\", 0) == 0 && LSlash != std::string::npos &&
            LInstance.find('&', LSlash) == std::string::npos)
            LInfo.Serial = LInstance.substr(LSlash + 1);
    } else if (LInfo.HardwareId.find("PNP050") != std::string::npos) {
        // PNP0500 and PNP0501: the PC's own UARTs.
        LInfo.Kind = "built-in";
    }
    return LInfo;
}

// The Ports class's devices by port name; present devices first, then the
// others for names still without one.
std::map<UnicodeString, TPortInfo> DevicesByPort() {
    std::map<UnicodeString, TPortInfo> LDevices;
    for (const DWORD LFlags : {DWORD(DIGCF_PRESENT), DWORD(0)}) {
        const HDEVINFO LSet = SetupDiGetClassDevsW(&CPortsClass, nullptr, nullptr, LFlags);
        if (LSet == INVALID_HANDLE_VALUE)
            continue;
        SP_DEVINFO_DATA LDevice{};
        LDevice.cbSize = sizeof LDevice;
        for (DWORD I = 0; SetupDiEnumDeviceInfo(LSet, I, &LDevice); ++I) {
            const UnicodeString LPort = UpperCase(PortNameOfDevice(LSet, LDevice));
            if (!LPort.empty() && LDevices.find(LPort) == LDevices.end())
                LDevices[LPort] = DeviceInfo(LSet, LDevice);
        }
        SetupDiDestroyDeviceInfoList(LSet);
    }
    return LDevices;
}
} // namespace

std::vector<UnicodeString> GetSysComList() {
    std::vector<std::pair<UnicodeString, UnicodeString>> LValues;
    ReadSerialComm(LValues);
    std::vector<UnicodeString> LList;
    for (const auto& LValue : LValues)
        LList.push_back(LValue.second);
    SortComList(LList);
    return LList;
}

std::vector<TPortInfo> GetSysComListInfo() {
    std::vector<std::pair<UnicodeString, UnicodeString>> LValues;
    ReadSerialComm(LValues);
    const std::map<UnicodeString, TPortInfo> LDevices = DevicesByPort();
    std::vector<TPortInfo> LList;
    for (const auto& [LDevice, LPort] : LValues) {
        const auto LIt = LDevices.find(UpperCase(LPort));
        LList.push_back(LIt == LDevices.end() ? TPortInfo{} : LIt->second);
        LList.back().Name = LPort;
        LList.back().Device = UnicodeToUtf8(LDevice);
    }
    SortPortInfo(LList);
    return LList;
}
