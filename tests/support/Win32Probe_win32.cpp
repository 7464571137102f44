#include "Win32Probe.h"

#include "platform/Windows_win32.h"

#include <aclapi.h>
#include <sddl.h>

#include <cstdlib>
#include <vector>

namespace {
constexpr const wchar_t* CViewerKey = L"Software\\WbTools\\WbDebug";

// The object's name as the channel's backend makes it.
std::wstring FullName(std::string_view AName) {
    std::wstring LName(AName.begin(), AName.end());
    if (const char* LSuffix = std::getenv("SCALEPROBE_WBDEBUG_SUFFIX"); LSuffix && *LSuffix)
        LName += L'.' + std::wstring(LSuffix, LSuffix + std::char_traits<char>::length(LSuffix));
    return LName;
}

std::vector<uint8_t> CurrentTokenUser() {
    HANDLE LToken = nullptr;
    std::vector<uint8_t> LData;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &LToken))
        return LData;
    DWORD LSize = 0;
    GetTokenInformation(LToken, ::TokenUser, nullptr, 0, &LSize);
    LData.resize(LSize);
    if (LSize == 0 || !GetTokenInformation(LToken, ::TokenUser, LData.data(), LSize, &LSize))
        LData.clear();
    CloseHandle(LToken);
    return LData;
}
} // namespace

TAclProbe ProbeMappingAcl(std::string_view AName) {
    TAclProbe LProbe;
    const HANDLE LMap = OpenFileMappingW(READ_CONTROL, FALSE, FullName(AName).c_str());
    if (!LMap)
        return LProbe;
    PACL LDacl = nullptr;
    PSECURITY_DESCRIPTOR LDescriptor = nullptr;
    if (GetSecurityInfo(LMap, SE_KERNEL_OBJECT, DACL_SECURITY_INFORMATION, nullptr, nullptr, &LDacl,
                        nullptr, &LDescriptor) == ERROR_SUCCESS &&
        LDacl) {
        LProbe.Read = true;
        SECURITY_DESCRIPTOR_CONTROL LControl = 0;
        DWORD LRevision = 0;
        GetSecurityDescriptorControl(LDescriptor, &LControl, &LRevision);
        LProbe.Protected = (LControl & SE_DACL_PROTECTED) != 0;
        LProbe.Aces = LDacl->AceCount;
        void* LAce = nullptr;
        const std::vector<uint8_t> LUser = CurrentTokenUser();
        if (LDacl->AceCount > 0 && GetAce(LDacl, 0, &LAce) && !LUser.empty()) {
            const auto* LAllowed = static_cast<const ACCESS_ALLOWED_ACE*>(LAce);
            const PSID LUserSid = reinterpret_cast<const TOKEN_USER*>(LUser.data())->User.Sid;
            LProbe.FirstIsCurrentUser = LAllowed->Header.AceType == ACCESS_ALLOWED_ACE_TYPE &&
                                        EqualSid(const_cast<DWORD*>(&LAllowed->SidStart), LUserSid);
            LProbe.FirstMask = LAllowed->Mask;
        }
    }
    LocalFree(LDescriptor);
    CloseHandle(LMap);
    return LProbe;
}

std::shared_ptr<void> CreateMappingOwnedByAdministrators(std::string_view AName) {
    PSECURITY_DESCRIPTOR LDescriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(
            L"O:BAD:(A;;GA;;;WD)", SDDL_REVISION_1, &LDescriptor, nullptr))
        return nullptr;
    SECURITY_ATTRIBUTES LAttributes{sizeof(LAttributes), LDescriptor, FALSE};
    const HANDLE LMap = CreateFileMappingW(INVALID_HANDLE_VALUE, &LAttributes, PAGE_READWRITE, 0,
                                           8192, FullName(AName).c_str());
    LocalFree(LDescriptor);
    if (!LMap)
        return nullptr;
    return std::shared_ptr<void>(LMap, [](void* AHandle) { CloseHandle(AHandle); });
}

bool WriteViewerSetting(const std::u16string& AValue) {
    const std::wstring LValue(AValue.begin(), AValue.end());
    return RegSetKeyValueW(HKEY_CURRENT_USER, CViewerKey, L"WbDebugViewer", REG_SZ, LValue.c_str(),
                           static_cast<DWORD>((LValue.size() + 1) * sizeof(wchar_t))) ==
           ERROR_SUCCESS;
}

namespace {
// Deletes a key that holds neither values nor keys.
void DeleteEmptyKey(const wchar_t* AKey) {
    HKEY LKey = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, AKey, 0, KEY_READ, &LKey) != ERROR_SUCCESS)
        return;
    DWORD LKeys = 0, LValues = 0;
    const bool LEmpty =
        RegQueryInfoKeyW(LKey, nullptr, nullptr, nullptr, &LKeys, nullptr, nullptr, &LValues,
                         nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
        LKeys == 0 && LValues == 0;
    RegCloseKey(LKey);
    if (LEmpty)
        RegDeleteKeyW(HKEY_CURRENT_USER, AKey);
}
} // namespace

void RemoveViewerSetting() {
    RegDeleteKeyValueW(HKEY_CURRENT_USER, CViewerKey, L"WbDebugViewer");
    DeleteEmptyKey(CViewerKey);
    DeleteEmptyKey(L"Software\\WbTools");
}
