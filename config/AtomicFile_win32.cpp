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
// The file that AFile names after its links (a symbolic link, a junction on
// the way), as the system finds it when it opens the file; AFile itself when
// nothing is there yet. Replacing that file keeps the links.
std::filesystem::path FinalPath(const std::filesystem::path& AFile) {
    const HANDLE LFile =
        CreateFileW(AFile.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (LFile == INVALID_HANDLE_VALUE)
        return AFile;
    std::wstring LName(MAX_PATH, L'\0');
    DWORD LLength = GetFinalPathNameByHandleW(LFile, LName.data(), static_cast<DWORD>(LName.size()),
                                              FILE_NAME_NORMALIZED);
    if (LLength >= LName.size()) {
        LName.resize(LLength + 1);
        LLength = GetFinalPathNameByHandleW(LFile, LName.data(), static_cast<DWORD>(LName.size()),
                                            FILE_NAME_NORMALIZED);
    }
    CloseHandle(LFile);
    if (LLength == 0 || LLength >= LName.size())
        return AFile;
    LName.resize(LLength);
    return std::filesystem::path(LName);
}
} // namespace

bool ReplaceFileAtomically(const std::filesystem::path& ATarget, std::string_view ABytes,
                           std::string& AError) {
    AError.clear();
    const std::filesystem::path AFile = FinalPath(ATarget);
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
