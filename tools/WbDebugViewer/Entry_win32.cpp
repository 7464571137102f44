#include "Entry.h"

#include "platform/Windows_win32.h"

#include <fcntl.h>
#include <io.h>
#include <vector>

namespace {
std::string ToUtf8(const wchar_t* AText) {
    const int LLen = WideCharToMultiByte(CP_UTF8, 0, AText, -1, nullptr, 0, nullptr, nullptr);
    if (LLen <= 1)
        return {};
    std::string LOut(static_cast<size_t>(LLen), '\0');
    WideCharToMultiByte(CP_UTF8, 0, AText, -1, LOut.data(), LLen, nullptr, nullptr);
    LOut.resize(static_cast<size_t>(LLen) - 1);
    return LOut;
}

std::wstring FromUtf8(const std::string& AText) {
    const int LLen =
        MultiByteToWideChar(CP_UTF8, 0, AText.data(), static_cast<int>(AText.size()), nullptr, 0);
    std::wstring LOut(static_cast<size_t>(LLen > 0 ? LLen : 0), L'\0');
    if (LLen > 0)
        MultiByteToWideChar(CP_UTF8, 0, AText.data(), static_cast<int>(AText.size()), LOut.data(),
                            LLen);
    return LOut;
}
} // namespace

// Binary: the lines end as the viewer writes them, as on Linux.
std::FILE* OpenAppendFile(const std::string& AName) {
    return _wfopen(FromUtf8(AName).c_str(), L"ab");
}

int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY);
    std::vector<std::string> LArgs;
    for (int I = 0; I < argc; ++I)
        LArgs.push_back(ToUtf8(argv[I]));
    std::vector<char*> LArgv;
    for (std::string& LArg : LArgs)
        LArgv.push_back(LArg.data());
    LArgv.push_back(nullptr);
    return ViewerMain(argc, LArgv.data());
}
