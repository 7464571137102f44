// scaleprobe: the main window, on Windows.
#include "app/MainForm.h"
#include "app/Startup.h"
#include "logging/UnitLogFile.h"
#include "platform/MessageLoop_win32.h"
#include "ui/Controls_win32.h"

#include "platform/Windows_win32.h"

#include <clocale>
#include <exception>
#include <memory>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    DeclareDpiAware();
    // The user's locale, for the decimal separator of the weights.
    std::setlocale(LC_ALL, "");
    auto LLoop = std::make_unique<TWin32MessageLoop>();
    std::unique_ptr<TControlBackend> LControls = CreateWin32Controls();
    SetControlBackend(LControls.get());

    int LResult = 0;
    try {
        StartUpUnits();
        TForm1 LForm;
        LForm.Show();
        // Without a window (no desktop) there is nothing to wait for.
        if (!ControlWindow(LForm))
            LResult = 1;
        LLoop->SetDialogWindow(ControlWindow(LForm));
        // Closing the window posts the quit message that ends the loop. A
        // handler's exception ends that handler only; the window goes on.
        while (LResult == 0 && !LLoop->QuitReceived()) {
            try {
                LLoop->RunUntil([&] { return LLoop->QuitReceived(); }, 0xFFFFFFFFu);
            } catch (...) {
                OutputDebugStringW(L"scaleprobe: a message handler failed");
            }
        }
        if (LResult == 0)
            LResult = LLoop->QuitCode();
        LLoop->SetDialogWindow(nullptr);
    } catch (const std::exception& E) {
        // The window is gone by now; the units still come down in order.
        const UnicodeString LText = u"scaleprobe: " + Utf8ToUnicode(E.what());
        OutputDebugStringW(reinterpret_cast<const wchar_t*>(LText.c_str()));
        if (GLogFile != nullptr)
            GLogFile->LogError(LText);
        LLoop->SetDialogWindow(nullptr);
        LResult = 1;
    }
    ShutDownUnits();

    SetControlBackend(nullptr);
    LControls.reset();
    LLoop.reset();
    return LResult;
}
