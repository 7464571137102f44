#include "logging/LogFileIo.h"

#include "platform/Windows_win32.h"

#include <cerrno>

namespace {

// The errno value the log's caller reports for a Win32 error.
int ErrnoOf(DWORD AError) {
    switch (AError) {
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
        return ENOSPC;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_NETWORK_ACCESS_DENIED:
        return EACCES;
    case ERROR_WRITE_PROTECT:
        return EROFS;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
        return ENOENT;
    case ERROR_FILENAME_EXCED_RANGE:
        return ENAMETOOLONG;
    case ERROR_INVALID_NAME:
    case ERROR_INVALID_PARAMETER:
        return EINVAL;
    case ERROR_TOO_MANY_OPEN_FILES:
        return EMFILE;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
        return EEXIST;
    case ERROR_INVALID_HANDLE:
        return EBADF;
    default:
        return EIO;
    }
}

} // namespace

TLineWrite WriteWholeLine(const std::filesystem::path& AFileName, std::string_view ALine) {
    // Shared for reading and writing, so that a viewer can follow the log.
    HANDLE LFile = CreateFileW(AFileName.c_str(), GENERIC_WRITE,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (LFile == INVALID_HANDLE_VALUE)
        return {ErrnoOf(GetLastError()), false};
    LARGE_INTEGER LSize{};
    const bool LRegular = GetFileType(LFile) == FILE_TYPE_DISK && GetFileSizeEx(LFile, &LSize) != 0;
    // An offset of all ones writes at the end of the file, whoever else
    // appended meanwhile.
    OVERLAPPED LAtEnd{};
    LAtEnd.Offset = 0xFFFFFFFF;
    LAtEnd.OffsetHigh = 0xFFFFFFFF;
    DWORD LWritten = 0;
    int LError = 0;
    if (!WriteFile(LFile, ALine.data(), static_cast<DWORD>(ALine.size()), &LWritten, &LAtEnd))
        LError = ErrnoOf(GetLastError());
    else if (LWritten != ALine.size())
        LError = ENOSPC;
    // Nothing of a line that did not go in whole stays in the file.
    if (LError != 0 && LWritten > 0 && LRegular &&
        SetFilePointerEx(LFile, LSize, nullptr, FILE_BEGIN))
        SetEndOfFile(LFile);
    if (!CloseHandle(LFile) && LError == 0)
        LError = ErrnoOf(GetLastError());
    return {LError, true};
}
