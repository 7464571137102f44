// scaleprobe-cli's entry point on Windows: the arguments arrive as UTF-16
// and go to the shared body as UTF-8.
#include "app/CliMain.h"
#include "app/Console.h"

#include "platform/Windows_win32.h"

#include <cwchar>

namespace {
std::string Utf8Of(const wchar_t* AText) {
    const int LLength = static_cast<int>(std::wcslen(AText));
    if (LLength == 0)
        return {};
    const int LSize = WideCharToMultiByte(CP_UTF8, 0, AText, LLength, nullptr, 0, nullptr, nullptr);
    std::string LOut(static_cast<size_t>(LSize > 0 ? LSize : 0), '\0');
    if (LSize > 0)
        WideCharToMultiByte(CP_UTF8, 0, AText, LLength, LOut.data(), LSize, nullptr, nullptr);
    return LOut;
}
} // namespace

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> LArgs;
    for (int I = 1; I < argc; ++I)
        LArgs.push_back(Utf8Of(argv[I]));
    int LExit;
    {
        const TStandardStreams LStreams;
        LExit = CliMain(LArgs);
    }
    // A console that is being closed waits for this before the process ends.
    ShutDownDone(LExit);
    return LExit;
}
