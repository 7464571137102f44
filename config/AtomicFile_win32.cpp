#include "config/AtomicFile.h"
#include "config/FileError_win32.h"
#include "platform/Text.h"

#include "platform/Windows_win32.h"

namespace {
std::string Utf8Of(const std::filesystem::path& APath) {
    return UnicodeToUtf8(APath.u16string());
}

std::string Reason(const std::string& AWhat) {
    return AWhat + ": " + FileErrorText(GetLastError());
}
} // namespace

bool ReplaceFileAtomically(const std::filesystem::path& AFile, std::string_view ABytes,
                           std::string& AError) {
    const std::filesystem::path LDir =
        AFile.has_parent_path() ? AFile.parent_path() : std::filesystem::path(".");
    const std::filesystem::path LTemp = LDir / (L"." + AFile.filename().wstring() + L"." +
                                                std::to_wstring(GetCurrentProcessId()) + L".tmp");
    const HANDLE LFile = CreateFileW(LTemp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
    if (LFile == INVALID_HANDLE_VALUE) {
        AError = Reason("cannot create a file in " + Utf8Of(LDir));
        return false;
    }
    DWORD LWritten = 0;
    const bool LOk =
        WriteFile(LFile, ABytes.data(), static_cast<DWORD>(ABytes.size()), &LWritten, nullptr) &&
        LWritten == ABytes.size() && FlushFileBuffers(LFile);
    if (!LOk)
        AError = Reason("cannot write " + Utf8Of(LTemp));
    CloseHandle(LFile);
    if (LOk && MoveFileExW(LTemp.c_str(), AFile.c_str(),
                           MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return true;
    if (AError.empty())
        AError = Reason("cannot replace " + Utf8Of(AFile));
    DeleteFileW(LTemp.c_str());
    return false;
}
