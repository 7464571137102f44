// Makes a device of the Ports setup class in the Wine prefix, as a driver's
// installation would: AddPortDevice INSTANCE-ID PORT FRIENDLY-NAME HARDWARE-ID
// MANUFACTURER SERVICE. The port list test then sees its description.
#include <windows.h>

#include <setupapi.h>

#include <cstdio>
#include <string>

namespace {
const GUID CPortsClass = {
    0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

bool SetText(HDEVINFO ASet, SP_DEVINFO_DATA& ADevice, DWORD AProperty, const std::wstring& AText,
             bool AMulti) {
    std::wstring LData = AText;
    LData.push_back(L'\0');
    if (AMulti)
        LData.push_back(L'\0');
    return SetupDiSetDeviceRegistryPropertyW(ASet, &ADevice, AProperty,
                                             reinterpret_cast<const BYTE*>(LData.c_str()),
                                             static_cast<DWORD>(LData.size() * sizeof(wchar_t)));
}

int Fail(const char* AStep) {
    std::fprintf(stderr, "AddPortDevice: %s failed (error %lu)\n", AStep, GetLastError());
    return 1;
}
} // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc != 7) {
        std::fprintf(stderr, "usage: AddPortDevice INSTANCE-ID PORT FRIENDLY-NAME HARDWARE-ID "
                             "MANUFACTURER SERVICE\n");
        return 2;
    }
    const HDEVINFO LSet = SetupDiCreateDeviceInfoList(&CPortsClass, nullptr);
    if (LSet == INVALID_HANDLE_VALUE)
        return Fail("SetupDiCreateDeviceInfoList");
    SP_DEVINFO_DATA LDevice{};
    LDevice.cbSize = sizeof LDevice;
    if (!SetupDiCreateDeviceInfoW(LSet, argv[1], &CPortsClass, nullptr, nullptr, 0, &LDevice))
        return Fail("SetupDiCreateDeviceInfo");
    if (!SetupDiRegisterDeviceInfo(LSet, &LDevice, 0, nullptr, nullptr, nullptr))
        return Fail("SetupDiRegisterDeviceInfo");
    if (!SetText(LSet, LDevice, SPDRP_FRIENDLYNAME, argv[3], false) ||
        !SetText(LSet, LDevice, SPDRP_HARDWAREID, argv[4], true) ||
        !SetText(LSet, LDevice, SPDRP_MFG, argv[5], false) ||
        !SetText(LSet, LDevice, SPDRP_SERVICE, argv[6], false))
        return Fail("SetupDiSetDeviceRegistryProperty");
    const HKEY LKey =
        SetupDiCreateDevRegKeyW(LSet, &LDevice, DICS_FLAG_GLOBAL, 0, DIREG_DEV, nullptr, nullptr);
    if (LKey == INVALID_HANDLE_VALUE)
        return Fail("SetupDiCreateDevRegKey");
    const std::wstring LPort = argv[2];
    const LSTATUS LSet2 =
        RegSetValueExW(LKey, L"PortName", 0, REG_SZ, reinterpret_cast<const BYTE*>(LPort.c_str()),
                       static_cast<DWORD>((LPort.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(LKey);
    SetupDiDestroyDeviceInfoList(LSet);
    if (LSet2 != ERROR_SUCCESS)
        return Fail("RegSetValueEx PortName");
    return 0;
}
