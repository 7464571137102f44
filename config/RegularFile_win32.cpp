#include "config/FileError_win32.h"
#include "config/RegularFile.h"
#include "platform/System.h"
#include "platform/Text.h"

#include "platform/Windows_win32.h"

#include <algorithm>

namespace {

TFileBytes Failure(DWORD AError) {
    TFileBytes LResult;
    LResult.Result = AError == ERROR_FILE_NOT_FOUND || AError == ERROR_PATH_NOT_FOUND
                         ? TFileRead::frMissing
                         : TFileRead::frFailed;
    LResult.Error = FileErrorText(AError);
    return LResult;
}

TFileBytes NotRegular(const char* AWhat) {
    TFileBytes LResult;
    LResult.Result = TFileRead::frNotRegular;
    LResult.Error = AWhat;
    return LResult;
}

} // namespace

std::string FileErrorText(unsigned long AError) {
    return SystemErrorText(AError);
}

TFileBytes ReadRegularFile(const std::filesystem::path& APath, size_t AMaxBytes) {
    const DWORD LAttributes = GetFileAttributesW(APath.c_str());
    if (LAttributes == INVALID_FILE_ATTRIBUTES)
        return Failure(GetLastError());
    if (LAttributes & FILE_ATTRIBUTE_DIRECTORY)
        return NotRegular("a folder, not a regular file");
    const HANDLE LFile = CreateFileW(APath.c_str(), GENERIC_READ,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (LFile == INVALID_HANDLE_VALUE)
        return Failure(GetLastError());
    TFileBytes LResult;
    LARGE_INTEGER LSize{};
    if (GetFileType(LFile) != FILE_TYPE_DISK) {
        LResult = NotRegular("a device or a pipe, not a regular file");
    } else if (!GetFileSizeEx(LFile, &LSize)) {
        LResult = Failure(GetLastError());
    } else {
        LResult.Result = TFileRead::frRead;
        LResult.Size = static_cast<uint64_t>(LSize.QuadPart);
        // One byte more than asked tells a file that has grown since.
        const size_t LWant = AMaxBytes + 1;
        LResult.Bytes.resize(std::min<uint64_t>(LResult.Size, AMaxBytes) + 1);
        size_t LHave = 0;
        while (LHave < LWant) {
            if (LHave == LResult.Bytes.size())
                LResult.Bytes.resize(std::min(LWant, LHave * 2 + 4096));
            DWORD LRead = 0;
            if (!ReadFile(LFile, LResult.Bytes.data() + LHave,
                          static_cast<DWORD>(LResult.Bytes.size() - LHave), &LRead, nullptr)) {
                LResult = Failure(GetLastError());
                break;
            }
            if (LRead == 0)
                break;
            LHave += LRead;
        }
        if (LResult.Result == TFileRead::frRead) {
            LResult.Truncated = LHave > AMaxBytes;
            LResult.Bytes.resize(std::min(LHave, AMaxBytes));
        }
    }
    CloseHandle(LFile);
    return LResult;
}
