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
