// scaleprobe-cli's entry point on Windows: the arguments arrive as UTF-16
// and go to the shared body as UTF-8.
#include "app/CliMain.h"
#include "app/Console.h"
#include "platform/Text.h"

#include "platform/Windows_win32.h"

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> LArgs;
    for (int I = 1; I < argc; ++I)
        // wchar_t is UTF-16 on Windows.
        LArgs.push_back(UnicodeToUtf8(reinterpret_cast<const char16_t*>(argv[I])));
    int LExit;
    {
        const TStandardStreams LStreams;
        LExit = CliMain(LArgs);
    }
    // A console that is being closed waits for this before the process ends.
    ShutDownDone(LExit);
    return LExit;
}
