// The port list on Windows: the values of the registry's SERIALCOMM key.
#include "app/MainForm.h"
#include "ui/Controls.h"

#include "platform/Windows_win32.h"

namespace {
constexpr DWORD CNameChars = 256;
constexpr DWORD CDataBytes = 256;

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
} // namespace

std::vector<UnicodeString> GetSysComList() {
    std::vector<UnicodeString> LList;
    HKEY LKey = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &LKey) !=
        ERROR_SUCCESS) {
        ShowMessage(CMsgPortListError);
        return LList;
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
        LList.push_back(DataText(LData, LDataLen));
    }
    RegCloseKey(LKey);
    SortComList(LList);
    return LList;
}
