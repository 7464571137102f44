#include "Entry.h"
#include "platform/Text.h"

#include "platform/Windows_win32.h"

#include <fcntl.h>
#include <io.h>
#include <vector>

namespace {
// wchar_t is UTF-16 on Windows.
std::string ToUtf8(const wchar_t* AText) {
    return UnicodeToUtf8(reinterpret_cast<const char16_t*>(AText));
}

std::wstring FromUtf8(const std::string& AText) {
    const UnicodeString LText = Utf8ToUnicode(AText);
    return std::wstring(LText.begin(), LText.end());
}
} // namespace

// Binary: the lines end as the viewer writes them, as on Linux.
std::FILE* OpenAppendFile(const std::string& AName) {
    return _wfopen(FromUtf8(AName).c_str(), L"ab");
}

// A console given 8-bit text would read it in its own code page, which need
// not be the records' (nor UTF-8): it gets UTF-16.
bool WriteText(std::FILE* AFile, const std::string& AText, bool AIsAnsi) {
    const HANDLE LHandle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(AFile)));
    DWORD LMode = 0;
    if (LHandle == INVALID_HANDLE_VALUE || !GetConsoleMode(LHandle, &LMode))
        return std::fwrite(AText.data(), 1, AText.size(), AFile) == AText.size();
    if (std::fflush(AFile) != 0)
        return false;
    const UnicodeString LText = AIsAnsi ? AnsiToUnicode(AText) : Utf8ToUnicode(AText);
    for (size_t LDone = 0; LDone < LText.size();) {
        DWORD LWritten = 0;
        if (!WriteConsoleW(LHandle, LText.data() + LDone, static_cast<DWORD>(LText.size() - LDone),
                           &LWritten, nullptr) ||
            LWritten == 0)
            return false;
        LDone += LWritten;
    }
    return true;
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
