// The control set on native Win32 controls: one child window per control at
// the layout's position and size, in a top-level window of fixed client size.
#include "ui/Controls_win32.h"
#include "ui/Bitmap.h"

#include "platform/Windows_win32.h"

#include <commctrl.h>

#include <algorithm>
#include <string>

namespace {

const wchar_t CFormClass[] = L"ScaleprobeForm";
const wchar_t CPictureClass[] = L"ScaleprobePicture";
const wchar_t CMessageCaption[] = L"scaleprobe";

// The shown form, owner of the message boxes when no window is active.
HWND GFormWindow = nullptr;

const wchar_t* W(const UnicodeString& AText) {
    return reinterpret_cast<const wchar_t*>(AText.c_str());
}

// The layout is given at 96 dpi; a DPI-aware process scales it itself.
int ScreenDpi() {
    HDC LDC = GetDC(nullptr);
    const int LDpi = LDC ? GetDeviceCaps(LDC, LOGPIXELSY) : 96;
    if (LDC)
        ReleaseDC(nullptr, LDC);
    return LDpi > 0 ? LDpi : 96;
}

int Scale(int32_t AValue) {
    static const int LDpi = ScreenDpi();
    return MulDiv(AValue, LDpi, 96);
}

HFONT MakeFont(const TFont& AFont) {
    // A negative height is the character height, without internal leading.
    return CreateFontW(-Scale(AFont.Height), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                       DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                       DEFAULT_PITCH | FF_DONTCARE, W(AFont.Name));
}

class TWin32Peer;

TWin32Peer* PeerOf(HWND AWnd) {
    return reinterpret_cast<TWin32Peer*>(GetWindowLongPtrW(AWnd, GWLP_USERDATA));
}

HWND ParentWindow(const TControl& AControl);

// The window of one control. It belongs to the peer; a form's children are
// freed before the form, so each peer destroys its own window.
class TWin32Peer : public TControlPeer {
public:
    explicit TWin32Peer(TControl& AControl) : FControl(AControl) {}
    ~TWin32Peer() override {
        if (FWnd) {
            SetWindowLongPtrW(FWnd, GWLP_USERDATA, 0);
            DestroyWindow(FWnd);
        }
    }
    TWin32Peer(const TWin32Peer&) = delete;
    TWin32Peer& operator=(const TWin32Peer&) = delete;

    HWND Window() const { return FWnd; }

    void Changed(TControlChange AWhat) override {
        if (!FWnd)
            return;
        if (AWhat == TControlChange::ccBounds)
            ApplyBounds();
        else
            Update(AWhat);
    }

    // A notification (BN_CLICKED, CBN_SELCHANGE, ...) from the window.
    virtual void Command(WORD) {}

protected:
    // Makes the child window of a standard class and applies the bounds. It
    // paints only where no sibling above it lies (the status bar over the
    // memo's foot).
    void CreateChild(const wchar_t* AClass, DWORD AStyle, DWORD AExStyle = 0) {
        FWnd = CreateWindowExW(AExStyle, AClass, L"",
                               WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | AStyle, 0, 0, 0, 0,
                               ParentWindow(FControl), nullptr, GetModuleHandleW(nullptr), nullptr);
        if (!FWnd)
            return;
        SetWindowLongPtrW(FWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        if (HWND LParent = GetParent(FWnd))
            SendMessageW(FWnd, WM_SETFONT,
                         static_cast<WPARAM>(SendMessageW(LParent, WM_GETFONT, 0, 0)), FALSE);
        ApplyBounds();
    }
    virtual void ApplyBounds() {
        MoveWindow(FWnd, Scale(FControl.Left()), Scale(FControl.Top()), Scale(FControl.Width()),
                   Scale(FControl.Height()), TRUE);
    }
    virtual void Update(TControlChange) {}

    TControl& FControl;
    HWND FWnd = nullptr;
};

class TWin32Controls;

class TWin32FormPeer : public TWin32Peer {
public:
    explicit TWin32FormPeer(TForm& AForm);
    ~TWin32FormPeer() override {
        if (GFormWindow == FWnd)
            GFormWindow = nullptr;
        if (FFont)
            DeleteObject(FFont);
    }

    static LRESULT CALLBACK Proc(HWND AWnd, UINT AMsg, WPARAM AWParam, LPARAM ALParam);

protected:
    void ApplyBounds() override {
        RECT LRect{0, 0, Scale(FForm.ClientWidth()), Scale(FForm.ClientHeight())};
        AdjustWindowRectEx(&LRect, CStyle, FALSE, CExStyle);
        SetWindowPos(FWnd, nullptr, 0, 0, LRect.right - LRect.left, LRect.bottom - LRect.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    void Update(TControlChange AWhat) override {
        switch (AWhat) {
        case TControlChange::ccCaption:
            SetWindowTextW(FWnd, W(FForm.Caption()));
            break;
        case TControlChange::ccFont:
            if (FFont)
                DeleteObject(FFont);
            FFont = MakeFont(FForm.Font());
            break;
        case TControlChange::ccColor:
            InvalidateRect(FWnd, nullptr, TRUE);
            break;
        case TControlChange::ccVisible:
            if (FForm.Showing()) {
                ApplyTabOrder();
                PlaceOnScreen();
                ShowWindow(FWnd, SW_SHOW);
                GFormWindow = FWnd;
                UpdateWindow(FWnd);
                FocusFirst();
            }
            break;
        default:
            break;
        }
    }

private:
    static constexpr DWORD CStyle =
        WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    static constexpr DWORD CExStyle = WS_EX_CONTROLPARENT;

    // The window's client area sits wholly in the work area when it fits.
    void PlaceOnScreen() {
        RECT LArea{};
        if (!SystemParametersInfoW(SPI_GETWORKAREA, 0, &LArea, 0))
            return;
        RECT LWindow{};
        GetWindowRect(FWnd, &LWindow);
        const int LWidth = LWindow.right - LWindow.left;
        const int LHeight = LWindow.bottom - LWindow.top;
        const int LLeft = LArea.left + std::max(0L, (LArea.right - LArea.left - LWidth) / 2);
        const int LTop = LArea.top + std::max(0L, (LArea.bottom - LArea.top - LHeight) / 2);
        SetWindowPos(FWnd, nullptr, LLeft, LTop, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }

    // Tab stops follow the children's z-order: the ordered controls first,
    // by tab order; the others (and what they overlap) after them, except a
    // status bar, which stays on top of what reaches under it.
    void ApplyTabOrder() {
        std::vector<TControl*> LOrdered;
        std::vector<HWND> LBars;
        for (TControl* LChild : FForm.Children()) {
            auto* LPeer = dynamic_cast<TWin32Peer*>(LChild->Peer());
            if (!LPeer || !LPeer->Window())
                continue;
            if (dynamic_cast<TStatusBar*>(LChild))
                LBars.push_back(LPeer->Window());
            else if (LChild->TabOrder() >= 0)
                LOrdered.push_back(LChild);
        }
        std::stable_sort(LOrdered.begin(), LOrdered.end(),
                         [](TControl* A, TControl* B) { return A->TabOrder() < B->TabOrder(); });
        HWND LAfter = HWND_TOP;
        for (HWND LBar : LBars) {
            SetWindowPos(LBar, LAfter, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            LAfter = LBar;
        }
        for (TControl* LChild : LOrdered) {
            HWND LWnd = static_cast<TWin32Peer*>(LChild->Peer())->Window();
            SetWindowLongW(LWnd, GWL_STYLE, GetWindowLongW(LWnd, GWL_STYLE) | WS_TABSTOP);
            SetWindowPos(LWnd, LAfter, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
            LAfter = LWnd;
        }
    }

    void FocusFirst() {
        if (HWND LFirst = GetNextDlgTabItem(FWnd, nullptr, FALSE))
            SetFocus(LFirst);
    }

    LRESULT Handle(UINT AMsg, WPARAM AWParam, LPARAM ALParam);

    TForm& FForm;
    HFONT FFont = nullptr;
};

// The form's own window procedure: notifications go to the peer of the
// control that sent them.
LRESULT TWin32FormPeer::Handle(UINT AMsg, WPARAM AWParam, LPARAM ALParam) {
    switch (AMsg) {
    case WM_COMMAND:
        if (ALParam != 0)
            if (TWin32Peer* LPeer = PeerOf(reinterpret_cast<HWND>(ALParam)))
                LPeer->Command(HIWORD(AWParam));
        return 0;
    case WM_GETFONT:
        return reinterpret_cast<LRESULT>(FFont);
    case WM_NEXTDLGCTL: {
        // What IsDialogMessageW sends on Tab: on to the next tab stop.
        HWND LNext = ALParam ? reinterpret_cast<HWND>(AWParam)
                             : GetNextDlgTabItem(FWnd, GetFocus(), AWParam != 0);
        if (LNext)
            SetFocus(LNext);
        return 0;
    }
    case WM_CTLCOLORSTATIC:
        // The label on the form's colour.
        SetBkColor(reinterpret_cast<HDC>(AWParam), GetSysColor(COLOR_BTNFACE));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    case WM_CLOSE:
        // Ends the thread's loop; the window goes with its form.
        ShowWindow(FWnd, SW_HIDE);
        PostQuitMessage(0);
        return 0;
    default:
        return DefWindowProcW(FWnd, AMsg, AWParam, ALParam);
    }
}

LRESULT CALLBACK TWin32FormPeer::Proc(HWND AWnd, UINT AMsg, WPARAM AWParam, LPARAM ALParam) {
    auto* LPeer = static_cast<TWin32FormPeer*>(PeerOf(AWnd));
    if (!LPeer)
        return DefWindowProcW(AWnd, AMsg, AWParam, ALParam);
    // No exception crosses the system's frames; the handlers of this window
    // report their own failures.
    try {
        return LPeer->Handle(AMsg, AWParam, ALParam);
    } catch (...) {
        OutputDebugStringW(L"scaleprobe: a window handler failed");
        return 0;
    }
}

TWin32FormPeer::TWin32FormPeer(TForm& AForm) : TWin32Peer(AForm), FForm(AForm) {
    static const ATOM LClass = [] {
        WNDCLASSEXW LWc{};
        LWc.cbSize = sizeof LWc;
        LWc.lpfnWndProc = &TWin32FormPeer::Proc;
        LWc.hInstance = GetModuleHandleW(nullptr);
        LWc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
        // The program's icon, resource 1; a test program has none.
        LWc.hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
        LWc.hIconSm = static_cast<HICON>(LoadImageW(
            GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1), IMAGE_ICON,
            GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), LR_DEFAULTCOLOR));
        LWc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        LWc.lpszClassName = CFormClass;
        return RegisterClassExW(&LWc);
    }();
    if (LClass == 0)
        return;
    FWnd = CreateWindowExW(CExStyle, CFormClass, L"", CStyle, CW_USEDEFAULT, CW_USEDEFAULT, 0, 0,
                           nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    if (!FWnd)
        return;
    SetWindowLongPtrW(FWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ApplyBounds();
    for (TControlChange LWhat :
         {TControlChange::ccCaption, TControlChange::ccFont, TControlChange::ccColor})
        Update(LWhat);
}

class TWin32LabelPeer : public TWin32Peer {
public:
    explicit TWin32LabelPeer(TLabel& ALabel) : TWin32Peer(ALabel), FLabel(ALabel) {
        CreateChild(L"Static", SS_LEFT | SS_NOPREFIX);
        Changed(TControlChange::ccCaption);
    }

protected:
    void Update(TControlChange AWhat) override {
        if (AWhat == TControlChange::ccCaption)
            SetWindowTextW(FWnd, W(FLabel.Caption()));
    }

private:
    TLabel& FLabel;
};

class TWin32ComboPeer : public TWin32Peer {
public:
    explicit TWin32ComboPeer(TComboBox& ACombo) : TWin32Peer(ACombo), FCombo(ACombo) {
        CreateChild(L"ComboBox", CBS_DROPDOWNLIST | WS_VSCROLL);
        Changed(TControlChange::ccItems);
    }

    void Command(WORD ACode) override {
        // Only the user's picks: CB_SETCURSEL sends no notification.
        if (ACode == CBN_SELCHANGE)
            FCombo.Select(static_cast<int32_t>(SendMessageW(FWnd, CB_GETCURSEL, 0, 0)));
    }

protected:
    void ApplyBounds() override {
        // The window's height includes the dropped-down list; the layout's
        // height is that of the closed box, set through its field.
        const int LHeight = Scale(FControl.Height());
        MoveWindow(FWnd, Scale(FControl.Left()), Scale(FControl.Top()), Scale(FControl.Width()),
                   LHeight + Scale(CListHeight), TRUE);
        RECT LRect{};
        GetWindowRect(FWnd, &LRect);
        const LRESULT LField = SendMessageW(FWnd, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
        const int LShown = LRect.bottom - LRect.top;
        if (LField > 0 && LShown != LHeight && LField + LHeight - LShown > 0)
            SendMessageW(FWnd, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1),
                         LField + LHeight - LShown);
    }
    void Update(TControlChange AWhat) override {
        if (AWhat == TControlChange::ccItems) {
            SendMessageW(FWnd, CB_RESETCONTENT, 0, 0);
            for (const UnicodeString& LItem : FCombo.Items())
                SendMessageW(FWnd, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(W(LItem)));
        }
        SendMessageW(FWnd, CB_SETCURSEL, static_cast<WPARAM>(FCombo.ItemIndex()), 0);
    }

private:
    static constexpr int32_t CListHeight = 200;
    TComboBox& FCombo;
};

class TWin32ButtonPeer : public TWin32Peer {
public:
    explicit TWin32ButtonPeer(TButton& AButton) : TWin32Peer(AButton), FButton(AButton) {
        CreateChild(L"Button", BS_PUSHBUTTON);
        for (TControlChange LWhat :
             {TControlChange::ccCaption, TControlChange::ccFont, TControlChange::ccEnabled})
            Changed(LWhat);
    }
    ~TWin32ButtonPeer() override {
        if (FWnd)
            SendMessageW(FWnd, WM_SETFONT, 0, FALSE);
        if (FFont)
            DeleteObject(FFont);
    }

    void Command(WORD ACode) override {
        if (ACode == BN_CLICKED)
            FButton.Click();
    }

protected:
    void Update(TControlChange AWhat) override {
        if (AWhat == TControlChange::ccCaption) {
            SetWindowTextW(FWnd, W(FButton.Caption()));
        } else if (AWhat == TControlChange::ccFont) {
            HFONT LOld = FFont;
            FFont = MakeFont(FButton.Font());
            SendMessageW(FWnd, WM_SETFONT, reinterpret_cast<WPARAM>(FFont), TRUE);
            if (LOld)
                DeleteObject(LOld);
        } else if (AWhat == TControlChange::ccEnabled) {
            ApplyEnabled();
        }
    }

private:
    // A disabled button keeps the focus it had, and no key reaches any
    // control; the window takes it instead, and gives it back when the
    // button is enabled again.
    void ApplyEnabled() {
        HWND LWindow = GetParent(FWnd);
        if (!FButton.Enabled()) {
            if (GetFocus() == FWnd)
                SetFocus(LWindow);
            EnableWindow(FWnd, FALSE);
            return;
        }
        EnableWindow(FWnd, TRUE);
        if (LWindow && GetFocus() == LWindow)
            SetFocus(FWnd);
    }

    TButton& FButton;
    HFONT FFont = nullptr;
};

class TWin32MemoPeer : public TWin32Peer {
public:
    explicit TWin32MemoPeer(TMemo& AMemo) : TWin32Peer(AMemo), FMemo(AMemo) {
        CreateChild(L"Edit", ES_MULTILINE | ES_AUTOVSCROLL | ES_NOHIDESEL | WS_VSCROLL,
                    WS_EX_CLIENTEDGE);
        if (!FWnd)
            return;
        // The default limit (some 32 K characters) would cut the transcript
        // short. Tab moves on: under IsDialogMessageW the edit asks its
        // parent for the next control (WM_NEXTDLGCTL).
        SendMessageW(FWnd, EM_SETLIMITTEXT, 0, 0);
        Changed(TControlChange::ccLines);
    }

protected:
    void Update(TControlChange AWhat) override {
        if (AWhat != TControlChange::ccLines)
            return;
        const auto& LLines = FMemo.Lines();
        if (FShown >= LLines.size())
            return;
        std::u16string LText;
        for (; FShown < LLines.size(); ++FShown) {
            if (FShown > 0)
                LText += u"\r\n";
            LText += LLines[FShown];
        }
        // At the end, with the caret after it and the end in view.
        const int LEnd = GetWindowTextLengthW(FWnd);
        SendMessageW(FWnd, EM_SETSEL, static_cast<WPARAM>(LEnd), LEnd);
        SendMessageW(FWnd, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(W(LText)));
        SendMessageW(FWnd, EM_SCROLLCARET, 0, 0);
    }

private:
    TMemo& FMemo;
    size_t FShown = 0;
};

class TWin32StatusBarPeer : public TWin32Peer {
public:
    explicit TWin32StatusBarPeer(TStatusBar& ABar) : TWin32Peer(ABar), FBar(ABar) {
        // Placed by the layout, along the window's bottom edge; the window's
        // size is fixed, so the bar needs no grip and no docking of its own.
        CreateChild(STATUSCLASSNAMEW, CCS_NOPARENTALIGN | CCS_NORESIZE | CCS_NODIVIDER);
        Changed(TControlChange::ccPanels);
    }

protected:
    void Update(TControlChange AWhat) override {
        if (AWhat != TControlChange::ccPanels)
            return;
        const auto& LPanels = FBar.Panels();
        std::vector<int> LEdges;
        int LRight = 0;
        for (const TStatusPanel& LPanel : LPanels) {
            LRight += Scale(LPanel.Width);
            LEdges.push_back(LRight);
        }
        // The last part runs on to the bar's right edge, so that its
        // caption shows whole.
        if (LEdges.empty())
            LEdges.push_back(-1);
        else
            LEdges.back() = -1;
        SendMessageW(FWnd, SB_SETPARTS, LEdges.size(), reinterpret_cast<LPARAM>(LEdges.data()));
        for (size_t I = 0; I < LPanels.size(); ++I)
            SendMessageW(FWnd, SB_SETTEXTW, I, reinterpret_cast<LPARAM>(W(LPanels[I].Text)));
    }

private:
    TStatusBar& FBar;
};

// Shows the control's bitmap as it is, pixel for pixel.
class TWin32GraphicPeer : public TWin32Peer {
public:
    explicit TWin32GraphicPeer(TGraphicControl& AControl)
        : TWin32Peer(AControl), FGraphic(AControl) {
        static const ATOM LClass = [] {
            WNDCLASSEXW LWc{};
            LWc.cbSize = sizeof LWc;
            LWc.lpfnWndProc = &TWin32GraphicPeer::Proc;
            LWc.hInstance = GetModuleHandleW(nullptr);
            LWc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
            LWc.lpszClassName = CPictureClass;
            return RegisterClassExW(&LWc);
        }();
        if (LClass != 0)
            CreateChild(CPictureClass, 0);
    }

protected:
    void Update(TControlChange AWhat) override {
        // At once, so that each new picture is on the screen before the next
        // change is handled.
        if (AWhat == TControlChange::ccPicture) {
            InvalidateRect(FWnd, nullptr, FALSE);
            UpdateWindow(FWnd);
        }
    }

private:
    void Paint(HDC ADC) {
        const TBitmap* LBitmap = FGraphic.Picture();
        if (!LBitmap || LBitmap->Width() <= 0 || LBitmap->Height() <= 0)
            return;
        // 0x00RRGGBB is the pixel of a 32-bit DIB; negative height: top-down.
        BITMAPINFO LInfo{};
        LInfo.bmiHeader.biSize = sizeof LInfo.bmiHeader;
        LInfo.bmiHeader.biWidth = LBitmap->Width();
        LInfo.bmiHeader.biHeight = -LBitmap->Height();
        LInfo.bmiHeader.biPlanes = 1;
        LInfo.bmiHeader.biBitCount = 32;
        LInfo.bmiHeader.biCompression = BI_RGB;
        SetDIBitsToDevice(ADC, 0, 0, static_cast<DWORD>(LBitmap->Width()),
                          static_cast<DWORD>(LBitmap->Height()), 0, 0, 0,
                          static_cast<UINT>(LBitmap->Height()), LBitmap->Pixels().data(), &LInfo,
                          DIB_RGB_COLORS);
    }

    static LRESULT CALLBACK Proc(HWND AWnd, UINT AMsg, WPARAM AWParam, LPARAM ALParam) {
        auto* LPeer = static_cast<TWin32GraphicPeer*>(PeerOf(AWnd));
        if (AMsg == WM_ERASEBKGND && LPeer)
            return 1;
        if (AMsg == WM_PAINT) {
            PAINTSTRUCT LPaint;
            HDC LDC = BeginPaint(AWnd, &LPaint);
            if (LPeer)
                LPeer->Paint(LDC);
            EndPaint(AWnd, &LPaint);
            return 0;
        }
        return DefWindowProcW(AWnd, AMsg, AWParam, ALParam);
    }

    TGraphicControl& FGraphic;
};

class TWin32Controls : public TControlBackend {
public:
    TWin32Controls() {
        INITCOMMONCONTROLSEX LInit{sizeof LInit, ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&LInit);
    }

    std::unique_ptr<TControlPeer> CreatePeer(TControl& AControl) override {
        if (auto* LForm = dynamic_cast<TForm*>(&AControl))
            return std::make_unique<TWin32FormPeer>(*LForm);
        if (!ParentWindow(AControl))
            return nullptr;
        if (auto* LLabel = dynamic_cast<TLabel*>(&AControl))
            return std::make_unique<TWin32LabelPeer>(*LLabel);
        if (auto* LCombo = dynamic_cast<TComboBox*>(&AControl))
            return std::make_unique<TWin32ComboPeer>(*LCombo);
        if (auto* LButton = dynamic_cast<TButton*>(&AControl))
            return std::make_unique<TWin32ButtonPeer>(*LButton);
        if (auto* LMemo = dynamic_cast<TMemo*>(&AControl))
            return std::make_unique<TWin32MemoPeer>(*LMemo);
        if (auto* LBar = dynamic_cast<TStatusBar*>(&AControl))
            return std::make_unique<TWin32StatusBarPeer>(*LBar);
        if (auto* LGraphic = dynamic_cast<TGraphicControl*>(&AControl))
            return std::make_unique<TWin32GraphicPeer>(*LGraphic);
        return nullptr;
    }

    void ShowMessage(const UnicodeString& AText) override {
        // Owned by the active window of this thread (the form), which it
        // disables while open; its modal loop goes on delivering posts and
        // timer ticks to the loop's window.
        HWND LOwner = GetActiveWindow();
        MessageBoxW(LOwner ? LOwner : GFormWindow, W(AText), CMessageCaption,
                    MB_OK | MB_ICONINFORMATION);
    }

    uint32_t SysColorToRGB(TSysColor AColor) const override {
        int LIndex = COLOR_BTNFACE;
        switch (AColor) {
        case TSysColor::scBtnFace:
            LIndex = COLOR_BTNFACE;
            break;
        case TSysColor::scBtnShadow:
            LIndex = COLOR_BTNSHADOW;
            break;
        case TSysColor::scBtnHighlight:
            LIndex = COLOR_BTNHIGHLIGHT;
            break;
        case TSysColor::scWindow:
            LIndex = COLOR_WINDOW;
            break;
        }
        const COLORREF LColor = GetSysColor(LIndex);
        return (uint32_t(GetRValue(LColor)) << 16) | (uint32_t(GetGValue(LColor)) << 8) |
               uint32_t(GetBValue(LColor));
    }
};

HWND ParentWindow(const TControl& AControl) {
    const TControl* LParent = AControl.Parent();
    auto* LPeer = LParent ? dynamic_cast<TWin32Peer*>(LParent->Peer()) : nullptr;
    return LPeer ? LPeer->Window() : nullptr;
}

} // namespace

std::unique_ptr<TControlBackend> CreateWin32Controls() {
    return std::make_unique<TWin32Controls>();
}

void DeclareDpiAware() {
    // Looked up at run time: older systems lack the newer calls.
    HMODULE LUser = GetModuleHandleW(L"user32.dll");
    using TSetContext = BOOL(WINAPI*)(HANDLE);
    using TSetAware = BOOL(WINAPI*)();
    if (auto LSetContext = reinterpret_cast<TSetContext>(
            reinterpret_cast<void*>(GetProcAddress(LUser, "SetProcessDpiAwarenessContext"))))
        if (LSetContext(reinterpret_cast<HANDLE>(-4))) // per monitor, version 2
            return;
    if (auto LSetAware = reinterpret_cast<TSetAware>(
            reinterpret_cast<void*>(GetProcAddress(LUser, "SetProcessDPIAware"))))
        LSetAware();
}

void* ControlWindow(const TControl& AControl) {
    auto* LPeer = dynamic_cast<TWin32Peer*>(AControl.Peer());
    return LPeer ? LPeer->Window() : nullptr;
}
