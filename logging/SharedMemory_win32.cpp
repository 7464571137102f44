// Win32 carriage of the debug channel's named objects.
//
// The names are used as they are ("Local\WbDebugMap": the session's own
// namespace), with ".<suffix>" when the environment variable
// SCALEPROBE_WBDEBUG_SUFFIX holds one, so that tests stay apart. The shared
// memory is a pagefile-backed file mapping; the mutex and the events are
// kernel objects. What this side creates carries a DACL that admits only the
// current user, and an object owned by anyone else is not opened. Objects go
// with their last handle, so the Remove functions have nothing to do.
//
// The viewer's command comes from the value "WbDebugViewer" under
// HKEY_CURRENT_USER\Software\WbTools\WbDebug; a started viewer gets a console
// of its own and is not waited for.
#include "logging/SharedMemory.h"

#include "platform/Windows_win32.h"

#include <aclapi.h>
#include <sddl.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {
constexpr DWORD CMapAccess = FILE_MAP_READ | FILE_MAP_WRITE;
constexpr DWORD CEventAccess = EVENT_MODIFY_STATE | SYNCHRONIZE;
constexpr DWORD CMutexAccess = MUTEX_MODIFY_STATE | SYNCHRONIZE;

struct THandleCloser {
    void operator()(HANDLE AHandle) const { CloseHandle(AHandle); }
};
using THandle = std::unique_ptr<std::remove_pointer_t<HANDLE>, THandleCloser>;

struct TLocalFree {
    void operator()(void* AMemory) const { LocalFree(AMemory); }
};

// The calling thread's last error; never 0, which would read as success.
int LastError() {
    const DWORD LError = GetLastError();
    return LError != 0 ? static_cast<int>(LError) : ERROR_GEN_FAILURE;
}

std::wstring EnvironmentValue(const wchar_t* AName) {
    std::wstring LValue(64, L'\0');
    for (;;) {
        const DWORD LLen =
            GetEnvironmentVariableW(AName, LValue.data(), static_cast<DWORD>(LValue.size()));
        if (LLen == 0)
            return {};
        if (LLen < LValue.size()) {
            LValue.resize(LLen);
            return LValue;
        }
        LValue.resize(LLen);
    }
}

std::wstring ObjectName(std::string_view AName) {
    std::wstring LName(AName.begin(), AName.end());
    const std::wstring LSuffix = EnvironmentValue(L"SCALEPROBE_WBDEBUG_SUFFIX");
    if (!LSuffix.empty()) {
        LName += L'.';
        for (const wchar_t C : LSuffix)
            LName += ((C >= L'0' && C <= L'9') || (C >= L'a' && C <= L'z') ||
                      (C >= L'A' && C <= L'Z') || C == L'_')
                         ? C
                         : L'_';
    }
    return LName;
}

// The token's user, and the owner it gives the objects it creates.
struct TTokenSids {
    std::vector<uint8_t> User, Owner;
};

bool ReadTokenInfo(HANDLE AToken, TOKEN_INFORMATION_CLASS AClass, std::vector<uint8_t>& AData) {
    DWORD LSize = 0;
    GetTokenInformation(AToken, AClass, nullptr, 0, &LSize);
    if (LSize == 0)
        return false;
    AData.resize(LSize);
    return GetTokenInformation(AToken, AClass, AData.data(), LSize, &LSize) != 0;
}

bool ReadTokenSids(TTokenSids& ASids) {
    HANDLE LRaw = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &LRaw))
        return false;
    const THandle LToken(LRaw);
    return ReadTokenInfo(LToken.get(), TokenUser, ASids.User) &&
           ReadTokenInfo(LToken.get(), TokenOwner, ASids.Owner);
}

// The process's token does not change: read once, as the sender opens the
// mutex for every record.
const TTokenSids* ProcessSids() {
    static const std::unique_ptr<TTokenSids> LSids = [] {
        auto L = std::make_unique<TTokenSids>();
        return ReadTokenSids(*L) ? std::move(L) : nullptr;
    }();
    return LSids.get();
}

PSID UserSid(const TTokenSids& ASids) {
    return reinterpret_cast<const TOKEN_USER*>(ASids.User.data())->User.Sid;
}

PSID OwnerSid(const TTokenSids& ASids) {
    return reinterpret_cast<const TOKEN_OWNER*>(ASids.Owner.data())->Owner;
}

// A security descriptor whose DACL grants everything to the current user and
// nothing to anyone else (protected: nothing is inherited).
class TUserOnlySecurity {
public:
    bool Make(int& AError) {
        const TTokenSids* LSids = ProcessSids();
        wchar_t* LSidText = nullptr;
        if (!LSids || !ConvertSidToStringSidW(UserSid(*LSids), &LSidText)) {
            AError = LastError();
            return false;
        }
        const std::wstring LSddl = L"D:P(A;;GA;;;" + std::wstring(LSidText) + L")";
        LocalFree(LSidText);
        PSECURITY_DESCRIPTOR LDescriptor = nullptr;
        if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(LSddl.c_str(), SDDL_REVISION_1,
                                                                  &LDescriptor, nullptr)) {
            AError = LastError();
            return false;
        }
        FDescriptor.reset(LDescriptor);
        FAttributes.nLength = sizeof(FAttributes);
        FAttributes.lpSecurityDescriptor = LDescriptor;
        FAttributes.bInheritHandle = FALSE;
        return true;
    }
    SECURITY_ATTRIBUTES* Attributes() { return &FAttributes; }

private:
    std::unique_ptr<void, TLocalFree> FDescriptor;
    SECURITY_ATTRIBUTES FAttributes{};
};

// The object's owner is the current user, or the owner its objects get.
bool OwnedByMe(HANDLE AHandle) {
    PSID LOwner = nullptr;
    PSECURITY_DESCRIPTOR LDescriptor = nullptr;
    if (GetSecurityInfo(AHandle, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &LOwner, nullptr,
                        nullptr, nullptr, &LDescriptor) != ERROR_SUCCESS)
        return false;
    const std::unique_ptr<void, TLocalFree> LKeep(LDescriptor);
    const TTokenSids* LSids = ProcessSids();
    return LOwner && LSids &&
           (EqualSid(LOwner, UserSid(*LSids)) || EqualSid(LOwner, OwnerSid(*LSids)));
}

// An opened handle passes on only when the object is the current user's.
HANDLE Checked(HANDLE AHandle, int& AError) {
    if (!AHandle) {
        AError = LastError();
        return nullptr;
    }
    if (!OwnedByMe(AHandle)) {
        CloseHandle(AHandle);
        AError = ERROR_ACCESS_DENIED;
        return nullptr;
    }
    return AHandle;
}

// The size of the region mapped at AData.
size_t MappedSize(const void* AData) {
    MEMORY_BASIC_INFORMATION LInfo{};
    if (VirtualQuery(AData, &LInfo, sizeof(LInfo)) != sizeof(LInfo))
        return 0;
    return LInfo.RegionSize;
}

class TWin32View : public TSharedView {
public:
    TWin32View(void* AData, size_t ASize) : FData(AData), FSize(ASize) {}
    ~TWin32View() override { UnmapViewOfFile(FData); }
    uint8_t* Data() const override { return static_cast<uint8_t*>(FData); }
    size_t Size() const override { return FSize; }

private:
    void* FData;
    size_t FSize;
};

// A section keeps the size it was created with for its whole life, so the
// size found once holds.
class TWin32SharedMemory : public TSharedMemory {
public:
    explicit TWin32SharedMemory(HANDLE AHandle) : FHandle(AHandle) {}

    std::unique_ptr<TSharedView> MapView(int& AError) override {
        void* LData = MapViewOfFile(FHandle.get(), CMapAccess, 0, 0, 0);
        if (!LData) {
            AError = LastError();
            return nullptr;
        }
        const size_t LSize = MappedSize(LData);
        if (LSize == 0) {
            AError = LastError();
            UnmapViewOfFile(LData);
            return nullptr;
        }
        FSize = static_cast<int64_t>(LSize);
        return std::make_unique<TWin32View>(LData, LSize);
    }

    int64_t CurrentSize() const override {
        if (FSize < 0) {
            if (void* LData = MapViewOfFile(FHandle.get(), CMapAccess, 0, 0, 0)) {
                if (const size_t LSize = MappedSize(LData); LSize != 0)
                    FSize = static_cast<int64_t>(LSize);
                UnmapViewOfFile(LData);
            }
        }
        return FSize;
    }

private:
    THandle FHandle;
    mutable int64_t FSize = -1;
};

TNamedWaitResult WaitResult(DWORD AResult) {
    switch (AResult) {
    case WAIT_OBJECT_0:
        return TNamedWaitResult::nwSignaled;
    case WAIT_ABANDONED:
        return TNamedWaitResult::nwAbandoned;
    case WAIT_TIMEOUT:
        return TNamedWaitResult::nwTimeout;
    default:
        return TNamedWaitResult::nwFailed;
    }
}

class TWin32Event : public TNamedEvent {
public:
    explicit TWin32Event(HANDLE AHandle) : FHandle(AHandle) {}
    bool SetEvent() override { return ::SetEvent(FHandle.get()) != 0; }
    TNamedWaitResult WaitFor(uint32_t ATimeoutMs) override {
        return WaitResult(WaitForSingleObject(FHandle.get(), ATimeoutMs));
    }
    HANDLE Handle() const { return FHandle.get(); }

private:
    THandle FHandle;
};

class TWin32Mutex : public TNamedMutex {
public:
    explicit TWin32Mutex(HANDLE AHandle) : FHandle(AHandle) {}
    TNamedWaitResult WaitFor(uint32_t ATimeoutMs) override {
        return WaitResult(WaitForSingleObject(FHandle.get(), ATimeoutMs));
    }
    bool Release() override { return ReleaseMutex(FHandle.get()) != 0; }

private:
    THandle FHandle;
};

// A created handle for an object that existed already: closed, and the
// error of an existing object.
HANDLE NewOnly(HANDLE AHandle, int& AError) {
    if (!AHandle) {
        AError = LastError();
        return nullptr;
    }
    if (GetLastError() == ERROR_ALREADY_EXISTS) {
        CloseHandle(AHandle);
        AError = ERROR_ALREADY_EXISTS;
        return nullptr;
    }
    return AHandle;
}
} // namespace

std::unique_ptr<TSharedMemory> OpenSharedMemory(std::string_view AName, int& AError) {
    const HANDLE LHandle = Checked(
        OpenFileMappingW(CMapAccess | READ_CONTROL, FALSE, ObjectName(AName).c_str()), AError);
    return LHandle ? std::make_unique<TWin32SharedMemory>(LHandle) : nullptr;
}

std::unique_ptr<TSharedMemory> CreateSharedMemory(std::string_view AName, size_t ASize,
                                                  int& AError) {
    TUserOnlySecurity LSecurity;
    if (!LSecurity.Make(AError))
        return nullptr;
    const auto LSize = static_cast<uint64_t>(ASize);
    const HANDLE LHandle =
        NewOnly(CreateFileMappingW(INVALID_HANDLE_VALUE, LSecurity.Attributes(), PAGE_READWRITE,
                                   static_cast<DWORD>(LSize >> 32), static_cast<DWORD>(LSize),
                                   ObjectName(AName).c_str()),
                AError);
    return LHandle ? std::make_unique<TWin32SharedMemory>(LHandle) : nullptr;
}

const bool CNamesHeldByHandles = true;

void RemoveSharedMemory(std::string_view) {}

std::unique_ptr<TNamedEvent> OpenNamedEvent(std::string_view AName, int& AError) {
    const HANDLE LHandle =
        Checked(OpenEventW(CEventAccess | READ_CONTROL, FALSE, ObjectName(AName).c_str()), AError);
    return LHandle ? std::make_unique<TWin32Event>(LHandle) : nullptr;
}

// Automatic reset, initially clear; an existing event is opened.
std::unique_ptr<TNamedEvent> CreateNamedEvent(std::string_view AName, int& AError) {
    TUserOnlySecurity LSecurity;
    if (!LSecurity.Make(AError))
        return nullptr;
    HANDLE LHandle = CreateEventExW(LSecurity.Attributes(), ObjectName(AName).c_str(), 0,
                                    CEventAccess | READ_CONTROL);
    if (LHandle && GetLastError() == ERROR_ALREADY_EXISTS)
        LHandle = Checked(LHandle, AError);
    else if (!LHandle)
        AError = LastError();
    return LHandle ? std::make_unique<TWin32Event>(LHandle) : nullptr;
}

void RemoveNamedEvent(std::string_view) {}

std::unique_ptr<TNamedMutex> OpenNamedMutex(std::string_view AName, int& AError) {
    const HANDLE LHandle =
        Checked(OpenMutexW(CMutexAccess | READ_CONTROL, FALSE, ObjectName(AName).c_str()), AError);
    return LHandle ? std::make_unique<TWin32Mutex>(LHandle) : nullptr;
}

std::unique_ptr<TNamedMutex> CreateNamedMutex(std::string_view AName, int& AError) {
    TUserOnlySecurity LSecurity;
    if (!LSecurity.Make(AError))
        return nullptr;
    const HANDLE LHandle = NewOnly(CreateMutexExW(LSecurity.Attributes(), ObjectName(AName).c_str(),
                                                  0, CMutexAccess | READ_CONTROL),
                                   AError);
    return LHandle ? std::make_unique<TWin32Mutex>(LHandle) : nullptr;
}

void RemoveNamedMutex(std::string_view) {}

std::string SharedObjectErrorText(int AError) {
    wchar_t* LText = nullptr;
    const DWORD LLen = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(AError), 0, reinterpret_cast<wchar_t*>(&LText), 0, nullptr);
    std::u16string LMessage;
    if (LLen != 0 && LText)
        LMessage.assign(reinterpret_cast<const char16_t*>(LText), LLen);
    LocalFree(LText);
    while (!LMessage.empty() && (LMessage.back() == u'\r' || LMessage.back() == u'\n' ||
                                 LMessage.back() == u' ' || LMessage.back() == u'.'))
        LMessage.pop_back();
    const std::string LNumber = "error " + std::to_string(AError);
    return LMessage.empty() ? LNumber : UnicodeToUtf8(LMessage) + " (" + LNumber + ")";
}

namespace {
constexpr const wchar_t* CViewerKey = L"Software\\WbTools\\WbDebug";
constexpr const wchar_t* CViewerValue = L"WbDebugViewer";

bool IsFile(const std::wstring& APath) {
    const DWORD LAttributes = GetFileAttributesW(APath.c_str());
    return LAttributes != INVALID_FILE_ATTRIBUTES && !(LAttributes & FILE_ATTRIBUTE_DIRECTORY);
}
} // namespace

// A value that names a program whose path holds blanks, without quotes, is
// quoted: otherwise the start would try "C:\Program.exe" first.
UnicodeString ReadViewerCommandSetting() {
    std::wstring LValue;
    for (int LTry = 0; LTry < 4; ++LTry) {
        DWORD LBytes = 0;
        LSTATUS LResult = RegGetValueW(HKEY_CURRENT_USER, CViewerKey, CViewerValue, RRF_RT_REG_SZ,
                                       nullptr, nullptr, &LBytes);
        if (LResult != ERROR_SUCCESS)
            return {};
        LValue.assign(LBytes / sizeof(wchar_t) + 1, L'\0');
        LBytes = static_cast<DWORD>(LValue.size() * sizeof(wchar_t));
        LResult = RegGetValueW(HKEY_CURRENT_USER, CViewerKey, CViewerValue, RRF_RT_REG_SZ, nullptr,
                               LValue.data(), &LBytes);
        if (LResult == ERROR_MORE_DATA)
            continue; // changed in between
        if (LResult != ERROR_SUCCESS)
            return {};
        LValue.resize(wcsnlen(LValue.c_str(), LValue.size()));
        break;
    }
    if (LValue.find(L' ') != std::wstring::npos && LValue.front() != L'"' && IsFile(LValue))
        LValue = L'"' + LValue + L'"';
    return UnicodeString(LValue.begin(), LValue.end());
}

UnicodeString DefaultViewerCommand() {
    return u"WbDebugViewer.exe";
}

// No shell: CreateProcessW finds the program (the starter's folder, the
// current folder, the system folders, PATH). The viewer gets a console window
// of its own, shown normally, and none of this process's handles.
namespace {
class TWin32StartedProgram : public TStartedProgram {
public:
    explicit TWin32StartedProgram(HANDLE AProcess) : FProcess(AProcess) {}
    bool WaitForSignalOrEnd(TNamedEvent& AEvent, uint32_t ATimeoutMs) override {
        const auto* LEvent = dynamic_cast<TWin32Event*>(&AEvent);
        if (!LEvent)
            return AEvent.WaitFor(ATimeoutMs) == TNamedWaitResult::nwSignaled;
        const HANDLE LHandles[] = {LEvent->Handle(), FProcess.get()};
        return WaitForMultipleObjects(2, LHandles, FALSE, ATimeoutMs) == WAIT_OBJECT_0;
    }

private:
    THandle FProcess;
};
} // namespace

std::unique_ptr<TStartedProgram> StartCommandLine(const AnsiString& ACommandLine) {
    if (ACommandLine.empty())
        return nullptr;
    const int LLen = MultiByteToWideChar(CP_ACP, 0, ACommandLine.data(),
                                         static_cast<int>(ACommandLine.size()), nullptr, 0);
    if (LLen <= 0)
        return nullptr;
    std::vector<wchar_t> LLine(static_cast<size_t>(LLen) + 1, L'\0');
    MultiByteToWideChar(CP_ACP, 0, ACommandLine.data(), static_cast<int>(ACommandLine.size()),
                        LLine.data(), LLen);
    STARTUPINFOW LStartup{};
    LStartup.cb = sizeof(LStartup);
    LStartup.dwFlags = STARTF_USESHOWWINDOW;
    LStartup.wShowWindow = SW_SHOWNORMAL;
    PROCESS_INFORMATION LProcess{};
    if (!CreateProcessW(nullptr, LLine.data(), nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE, nullptr,
                        nullptr, &LStartup, &LProcess))
        return nullptr;
    CloseHandle(LProcess.hThread);
    return std::make_unique<TWin32StartedProgram>(LProcess.hProcess);
}

// Nothing is kept of a started program.
void ReapStartedPrograms() {}

bool ProcessAlive(uint32_t AProcessId) {
    if (AProcessId == 0)
        return false;
    const HANDLE LRaw =
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, AProcessId);
    if (!LRaw)
        return GetLastError() == ERROR_ACCESS_DENIED; // it runs, as someone else
    const THandle LProcess(LRaw);
    return WaitForSingleObject(LProcess.get(), 0) == WAIT_TIMEOUT;
}

// The creation time, in 100 ns steps since 1601.
uint64_t ProcessStartTime(uint32_t AProcessId) {
    if (AProcessId == 0)
        return 0;
    const HANDLE LRaw =
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, AProcessId);
    if (!LRaw)
        return 0;
    const THandle LProcess(LRaw);
    FILETIME LCreation{}, LExit{}, LKernel{}, LUser{};
    if (WaitForSingleObject(LProcess.get(), 0) != WAIT_TIMEOUT ||
        !GetProcessTimes(LProcess.get(), &LCreation, &LExit, &LKernel, &LUser))
        return 0;
    return (static_cast<uint64_t>(LCreation.dwHighDateTime) << 32) | LCreation.dwLowDateTime;
}
