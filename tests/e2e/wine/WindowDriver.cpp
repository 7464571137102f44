// Drives a running scaleprobe.exe from outside, as a user would, for the
// window test under Wine. Usage:
//   WindowDriver search PORT CAPTION OUT.ppm
//     picks PORT, presses the button, waits for the box that ends the search,
//     prints the box's text, the transcript and the display's place on the
//     screen, closes the box with OK, and writes the display's bitmap as the
//     window paints it for CAPTION (the last weight) to OUT.ppm;
//   WindowDriver close
//     waits for the window, then closes it as its close box does.
// Prints UTF-8 lines "key: value"; exits 0 when it could do what it was asked.
#include "app/MainForm.h"
#include "platform/Text.h"

#include <cstdio>
#include <string>

#include "platform/Windows_win32.h"

namespace {

const wchar_t CCaption[] = L"自动检测地磅仪表 -- 测试";
constexpr DWORD CWaitMs = 120000;

void Print(const std::string& AKey, const std::wstring& AValue) {
    const std::string LLine =
        AKey + ": " +
        UnicodeToUtf8(
            std::u16string_view(reinterpret_cast<const char16_t*>(AValue.data()), AValue.size())) +
        "\n";
    std::fwrite(LLine.data(), 1, LLine.size(), stdout);
    std::fflush(stdout);
}

std::wstring TextOf(HWND AWnd) {
    // WM_GETTEXT crosses the process boundary; GetWindowTextW would not.
    const auto LLength = SendMessageW(AWnd, WM_GETTEXTLENGTH, 0, 0);
    std::wstring LText(static_cast<size_t>(LLength) + 1, L'\0');
    LText.resize(static_cast<size_t>(
        SendMessageW(AWnd, WM_GETTEXT, LText.size(), reinterpret_cast<LPARAM>(LText.data()))));
    return LText;
}

// Polls for what another process does, up to the limit.
template <class TCheck> bool WaitFor(TCheck ACheck) {
    const ULONGLONG LEnd = ::GetTickCount64() + CWaitMs;
    while (!ACheck()) {
        if (::GetTickCount64() > LEnd)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    }
    return true;
}

HWND FindChild(HWND AParent, const wchar_t* AClass) {
    return FindWindowExW(AParent, nullptr, AClass, nullptr);
}

bool WriteDisplayBitmap(const std::wstring& ACaption, const wchar_t* APath) {
    // The same form, headless: its display paints the caption as the
    // window's does.
    THeadlessLoop LLoop;
    TForm1 LForm;
    LForm.LEDDisplay1->SetCaption(
        UnicodeString(reinterpret_cast<const char16_t*>(ACaption.c_str())));
    const TBitmap* LBitmap = nullptr;
    for (TControl* LChild : LForm.Children())
        if (LChild->Name() == u"LEDDisplay1")
            if (auto* LView = dynamic_cast<TGraphicControl*>(LChild))
                LBitmap = LView->Picture();
    if (!LBitmap)
        return false;
    FILE* LFile = _wfopen(APath, L"wb");
    if (!LFile)
        return false;
    std::fprintf(LFile, "P6\n%d %d\n255\n", LBitmap->Width(), LBitmap->Height());
    for (int32_t Y = 0; Y < LBitmap->Height(); ++Y)
        for (int32_t X = 0; X < LBitmap->Width(); ++X) {
            const TColor LColor = LBitmap->Pixel(X, Y);
            const unsigned char LRgb[3] = {static_cast<unsigned char>(LColor >> 16),
                                           static_cast<unsigned char>(LColor >> 8),
                                           static_cast<unsigned char>(LColor)};
            std::fwrite(LRgb, 1, 3, LFile);
        }
    return std::fclose(LFile) == 0;
}

int Search(const wchar_t* APort, const wchar_t* ACaption, const wchar_t* AOut) {
    // The window shows once its controls are made and the port list is in.
    HWND LForm = nullptr, LCombo = nullptr, LButton = nullptr, LMemo = nullptr, LDisplay = nullptr;
    LRESULT LIndex = CB_ERR;
    const bool LReady = WaitFor([&] {
        LForm = FindWindowW(nullptr, CCaption);
        if (!LForm || !IsWindowVisible(LForm))
            return false;
        LCombo = FindChild(LForm, L"ComboBox");
        LButton = FindChild(LForm, L"Button");
        LMemo = FindChild(LForm, L"Edit");
        LDisplay = FindChild(LForm, L"ScaleprobePicture");
        if (!LCombo || !LButton || !LMemo || !LDisplay)
            return false;
        LIndex = SendMessageW(LCombo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                              reinterpret_cast<LPARAM>(APort));
        return LIndex != CB_ERR;
    });
    if (!LReady) {
        Print("error", std::wstring(L"no window with its controls and port ") + APort);
        return 1;
    }
    // Picked as a user picks: the selection, then the box's notification.
    SendMessageW(LCombo, CB_SETCURSEL, static_cast<WPARAM>(LIndex), 0);
    SendMessageW(LForm, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(LCombo), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(LCombo));
    PostMessageW(LButton, BM_CLICK, 0, 0);

    HWND LBox = nullptr;
    if (!WaitFor([&] {
            LBox = FindWindowW(L"#32770", L"scaleprobe");
            return LBox && GetWindow(LBox, GW_OWNER) == LForm;
        })) {
        Print("error", L"no box");
        return 1;
    }
    Print("box", TextOf(GetDlgItem(LBox, 0xFFFF)));
    Print("transcript", TextOf(LMemo));
    PostMessageW(LBox, WM_COMMAND, IDOK, 0);
    if (!WaitFor([&] { return !IsWindow(LBox); })) {
        Print("error", L"the box stays");
        return 1;
    }
    Print("button", IsWindowEnabled(LButton) ? L"enabled" : L"disabled");
    // In front of any other window (the viewer's console), for the screenshot.
    SetWindowPos(LForm, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW);
    SetForegroundWindow(LForm);
    RedrawWindow(LDisplay, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);
    RECT LRect{};
    GetClientRect(LDisplay, &LRect);
    MapWindowPoints(LDisplay, HWND_DESKTOP, reinterpret_cast<POINT*>(&LRect), 2);
    Print("display", std::to_wstring(LRect.left) + L" " + std::to_wstring(LRect.top) + L" " +
                         std::to_wstring(LRect.right - LRect.left) + L" " +
                         std::to_wstring(LRect.bottom - LRect.top));
    if (!WriteDisplayBitmap(ACaption, AOut)) {
        Print("error", L"cannot write the bitmap");
        return 1;
    }
    return 0;
}

int Close() {
    HWND LForm = nullptr;
    if (!WaitFor([&] { return (LForm = FindWindowW(nullptr, CCaption)) != nullptr; })) {
        Print("error", L"no window");
        return 1;
    }
    PostMessageW(LForm, WM_SYSCOMMAND, SC_CLOSE, 0);
    return 0;
}

} // namespace

int wmain(int AArgc, wchar_t** AArgv) {
    const std::wstring LCommand = AArgc > 1 ? AArgv[1] : L"";
    if (LCommand == L"search" && AArgc == 5)
        return Search(AArgv[2], AArgv[3], AArgv[4]);
    if (LCommand == L"close" && AArgc == 2)
        return Close();
    std::fputs("usage: WindowDriver search PORT CAPTION OUT.ppm | close\n", stderr);
    return 2;
}
