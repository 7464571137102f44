// On Windows a program keeps its INI file and its log folder beside itself,
// whatever the folder allows; the folder is not even tried.
#include "platform/ProgramDirs.h"

#include "platform/Windows_win32.h"

#include <string>

namespace fs = std::filesystem;

TProgramDirs ProgramDirsFor(const fs::path& AExeDir, const std::function<bool()>&, const TGetEnv&) {
    return TProgramDirs{AExeDir, AExeDir};
}

bool IsDirWritable(const fs::path& ADir) {
    const std::wstring LName =
        (ADir / (L".scaleprobe-write-" + std::to_wstring(GetCurrentProcessId()))).wstring();
    const HANDLE LFile = CreateFileW(LName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (LFile == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(LFile);
    return true;
}

void PlatformMakeStateDir(const fs::path& ADir) {
    std::error_code LError;
    fs::create_directories(ADir, LError);
}
