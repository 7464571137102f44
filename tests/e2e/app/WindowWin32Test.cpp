// The main window on native Win32 controls, in process under Wine: each
// control's class, style, place and size, the display's pixels, Tab, the
// button's click with its message box, and the combo box's notification.
#include "app/MainForm.h"
#include "platform/MessageLoop_win32.h"
#include "platform/Text.h"
#include "ui/Bitmap.h"
#include "ui/Controls_win32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

#include "platform/Windows_win32.h"

#include <commctrl.h>

namespace {

int Dpi() {
    HDC LDC = GetDC(nullptr);
    const int LDpi = GetDeviceCaps(LDC, LOGPIXELSY);
    ReleaseDC(nullptr, LDC);
    return LDpi;
}

std::wstring ClassOf(HWND AWnd) {
    wchar_t LName[64] = {};
    GetClassNameW(AWnd, LName, 64);
    return LName;
}

std::wstring TextOf(HWND AWnd) {
    std::wstring LText(static_cast<size_t>(GetWindowTextLengthW(AWnd)) + 1, L'\0');
    LText.resize(
        static_cast<size_t>(GetWindowTextW(AWnd, LText.data(), static_cast<int>(LText.size()))));
    return LText;
}

std::wstring Wide(const char16_t* AText) {
    return std::wstring(reinterpret_cast<const wchar_t*>(AText));
}

class Win32WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::getenv("DISPLAY") && !std::getenv("SP_REQUIRE_WINDOW"))
            GTEST_SKIP() << "no window without a display";
        if (Dpi() != 96)
            GTEST_SKIP() << "the layout is checked at 96 dpi, the screen has " << Dpi();
        // Made headless, so that a port list error's box at creation does
        // not wait for a user; shown on the Win32 controls.
        Form = std::make_unique<TForm1>();
        Controls = CreateWin32Controls();
        SetControlBackend(Controls.get());
        Form->Show();
        Loop.SetDialogWindow(ControlWindow(*Form));
        Loop.ProcessMessages();
        ASSERT_NE(Window(*Form), nullptr);
    }
    void TearDown() override {
        Loop.SetDialogWindow(nullptr);
        Form.reset();
        SetControlBackend(nullptr);
    }

    const TControl& Child(const UnicodeString& AName) const {
        for (TControl* LChild : Form->Children())
            if (LChild->Name() == AName)
                return *LChild;
        throw Exception(u"no such control");
    }
    static HWND Window(const TControl& AControl) {
        return static_cast<HWND>(ControlWindow(AControl));
    }
    // The control's rectangle in the form's client coordinates.
    RECT ClientRect(const TControl& AControl) const {
        RECT LRect{};
        GetWindowRect(Window(AControl), &LRect);
        MapWindowPoints(HWND_DESKTOP, Window(*Form), reinterpret_cast<POINT*>(&LRect), 2);
        return LRect;
    }

    TWin32MessageLoop Loop;
    std::unique_ptr<TControlBackend> Controls;
    std::unique_ptr<TForm1> Form;
};

TEST_F(Win32WindowTest, ControlsHaveTheirClassStyleAndPlace) {
    HWND LForm = Window(*Form);
    EXPECT_EQ(TextOf(LForm), Wide(u"自动检测地磅仪表 -- 测试"));
    RECT LClient{};
    GetClientRect(LForm, &LClient);
    EXPECT_EQ(LClient.right, 968);
    EXPECT_EQ(LClient.bottom, 668);
    // A fixed size: no sizing frame, no maximize box.
    const LONG LFormStyle = GetWindowLongW(LForm, GWL_STYLE);
    EXPECT_EQ(LFormStyle & (WS_THICKFRAME | WS_MAXIMIZEBOX), 0);
    EXPECT_TRUE(IsWindowVisible(LForm));
    // The program's icon, in both sizes, from its resources.
    EXPECT_NE(GetClassLongPtrW(LForm, GCLP_HICON), 0u);
    EXPECT_NE(GetClassLongPtrW(LForm, GCLP_HICONSM), 0u);

    const struct {
        const TControl& Control;
        const wchar_t* Class;
        LONG StyleMask;
        LONG Style;
        RECT Rect;
    } LTable[] = {
        {Child(u"LEDDisplay1"), L"ScaleprobePicture", 0, 0, {8, 8, 673, 90}},
        {*Form->Label1, L"Static", SS_TYPEMASK, SS_LEFT, {704, 32, 756, 45}},
        {*Form->ComboBox1,
         L"ComboBox",
         0x3 | WS_TABSTOP,
         CBS_DROPDOWNLIST | WS_TABSTOP,
         {784, 29, 929, 50}},
        {*Form->Button1,
         L"Button",
         BS_TYPEMASK | WS_TABSTOP,
         BS_PUSHBUTTON | WS_TABSTOP,
         {704, 72, 929, 153}},
        {*Form->Memo1,
         L"Edit",
         ES_MULTILINE | ES_READONLY | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP,
         ES_MULTILINE | WS_VSCROLL | WS_TABSTOP,
         {8, 96, 673, 660}},
        {*Form->StatusBar1, STATUSCLASSNAMEW, 0, 0, {0, 649, 968, 668}},
    };
    for (const auto& LRow : LTable) {
        HWND LWnd = Window(LRow.Control);
        ASSERT_NE(LWnd, nullptr);
        const std::string LName(LRow.Control.Name().begin(), LRow.Control.Name().end());
        EXPECT_EQ(ClassOf(LWnd), LRow.Class) << LName;
        EXPECT_EQ(GetWindowLongW(LWnd, GWL_STYLE) & LRow.StyleMask, LRow.Style) << LName;
        // The memo reaches under the status bar: neither paints over the other.
        EXPECT_NE(GetWindowLongW(LWnd, GWL_STYLE) & WS_CLIPSIBLINGS, 0) << LName;
        const RECT LRect = ClientRect(LRow.Control);
        EXPECT_EQ(LRect.left, LRow.Rect.left) << LName;
        EXPECT_EQ(LRect.top, LRow.Rect.top) << LName;
        EXPECT_EQ(LRect.right, LRow.Rect.right) << LName;
        EXPECT_EQ(LRect.bottom, LRow.Rect.bottom) << LName;
    }

    EXPECT_EQ(TextOf(Window(*Form->Label1)), Wide(u"可用串口:"));
    HWND LButton = Window(*Form->Button1);
    EXPECT_EQ(TextOf(LButton), Wide(u"自动连接"));
    LOGFONTW LFont{};
    ASSERT_TRUE(GetObjectW(reinterpret_cast<HFONT>(SendMessageW(LButton, WM_GETFONT, 0, 0)),
                           sizeof LFont, &LFont));
    EXPECT_EQ(LFont.lfHeight, -48);
    EXPECT_EQ(std::wstring(LFont.lfFaceName), L"Tahoma");
    EXPECT_EQ(TextOf(Window(*Form->Memo1)), L"Memo1");

    HWND LBar = Window(*Form->StatusBar1);
    int LEdges[4] = {};
    ASSERT_EQ(SendMessageW(LBar, SB_GETPARTS, 4, reinterpret_cast<LPARAM>(LEdges)), 2);
    EXPECT_EQ(LEdges[0], 300);
    // The last part runs on to the bar's right edge and holds its caption
    // whole, in the bar's font.
    EXPECT_EQ(LEdges[1], -1);
    RECT LBarRect{};
    GetClientRect(LBar, &LBarRect);
    RECT LParts[2]{};
    for (int I = 0; I < 2; ++I)
        SendMessageW(LBar, SB_GETRECT, I, reinterpret_cast<LPARAM>(&LParts[I]));
    EXPECT_EQ(LParts[0].right, 300);
    EXPECT_EQ(LParts[1].right, LBarRect.right);
    wchar_t LPanel[64] = {};
    SendMessageW(LBar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(LPanel));
    EXPECT_EQ(std::wstring(LPanel), Wide(u"地磅仪表自动检测工具"));
    SendMessageW(LBar, SB_GETTEXTW, 1, reinterpret_cast<LPARAM>(LPanel));
    EXPECT_EQ(std::wstring(LPanel), Wide(u"技术支持"));
    HDC LDC = GetDC(LBar);
    HGDIOBJ LOld =
        SelectObject(LDC, reinterpret_cast<HGDIOBJ>(SendMessageW(LBar, WM_GETFONT, 0, 0)));
    SIZE LText{};
    GetTextExtentPoint32W(LDC, LPanel, static_cast<int>(std::wcslen(LPanel)), &LText);
    SelectObject(LDC, LOld);
    ReleaseDC(LBar, LDC);
    EXPECT_GT(LText.cx, 0);
    EXPECT_LE(LText.cx, LParts[1].right - LParts[1].left - 4) << LText.cx;
}

TEST_F(Win32WindowTest, DisplayShowsItsBitmapPixelForPixel) {
    const auto& LView = dynamic_cast<const TGraphicControl&>(Child(u"LEDDisplay1"));
    Form->LEDDisplay1->SetCaption(u"12.5");
    Loop.ProcessMessages();
    const TBitmap* LBitmap = LView.Picture();
    ASSERT_NE(LBitmap, nullptr);
    HWND LWnd = Window(LView);
    RedrawWindow(LWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW);

    const int LWidth = LBitmap->Width(), LHeight = LBitmap->Height();
    BITMAPINFO LInfo{};
    LInfo.bmiHeader.biSize = sizeof LInfo.bmiHeader;
    LInfo.bmiHeader.biWidth = LWidth;
    LInfo.bmiHeader.biHeight = -LHeight;
    LInfo.bmiHeader.biPlanes = 1;
    LInfo.bmiHeader.biBitCount = 32;
    void* LBits = nullptr;
    HDC LWindowDC = GetDC(LWnd);
    HDC LMemDC = CreateCompatibleDC(LWindowDC);
    HBITMAP LShot = CreateDIBSection(LMemDC, &LInfo, DIB_RGB_COLORS, &LBits, nullptr, 0);
    ASSERT_NE(LShot, nullptr);
    HGDIOBJ LOld = SelectObject(LMemDC, LShot);
    BitBlt(LMemDC, 0, 0, LWidth, LHeight, LWindowDC, 0, 0, SRCCOPY);
    GdiFlush();
    const auto* LShown = static_cast<const uint32_t*>(LBits);
    int LWrong = 0;
    for (int Y = 0; Y < LHeight; ++Y)
        for (int X = 0; X < LWidth; ++X)
            if ((LShown[Y * LWidth + X] & 0xFFFFFFu) != LBitmap->Pixel(X, Y) && LWrong++ < 3)
                ADD_FAILURE() << "pixel " << X << "," << Y << " shows " << std::hex
                              << LShown[Y * LWidth + X] << " instead of " << LBitmap->Pixel(X, Y);
    EXPECT_EQ(LWrong, 0);
    SelectObject(LMemDC, LOld);
    DeleteObject(LShot);
    DeleteDC(LMemDC);
    ReleaseDC(LWnd, LWindowDC);
}

TEST_F(Win32WindowTest, AppendedLinesEndTheTextWithTheCaretAfterThem) {
    HWND LMemo = Window(*Form->Memo1);
    Form->Memo1->Append(u"next");
    Form->Memo1->Append(u"");
    Form->Memo1->Append(u"找到仪表");
    EXPECT_EQ(TextOf(LMemo), L"Memo1\r\nnext\r\n\r\n" + Wide(u"找到仪表"));
    DWORD LStart = 0, LEnd = 0;
    SendMessageW(LMemo, EM_GETSEL, reinterpret_cast<WPARAM>(&LStart),
                 reinterpret_cast<LPARAM>(&LEnd));
    EXPECT_EQ(LStart, static_cast<DWORD>(GetWindowTextLengthW(LMemo)));
    EXPECT_EQ(LEnd, LStart);
    // Past the edit control's default limit (30000 on Wine, 32767 on Windows).
    const std::u16string LLong(1000, u'x');
    for (int I = 0; I < 40; ++I)
        Form->Memo1->Append(LLong);
    EXPECT_GT(GetWindowTextLengthW(LMemo), 40000);
}

TEST_F(Win32WindowTest, TabMovesTheFocusInTabOrder) {
    HWND LButton = Window(*Form->Button1), LMemo = Window(*Form->Memo1),
         LCombo = Window(*Form->ComboBox1);
    SetForegroundWindow(Window(*Form));
    SetFocus(LButton);
    // What a typed Tab is: its character follows the key unless a pump
    // took the key for moving the focus.
    const auto LPressTab = [&] {
        MSG LKey{GetFocus(), WM_KEYDOWN, VK_TAB, 0x000F0001, 0, {}};
        PostMessageW(LKey.hwnd, LKey.message, LKey.wParam, LKey.lParam);
        Loop.ProcessMessages();
    };
    const HWND LExpected[] = {LMemo, LCombo, LButton};
    for (HWND LNext : LExpected) {
        LPressTab();
        EXPECT_EQ(GetFocus(), LNext);
    }
    // Tab left the memo's text alone, and no key went to the combo box.
    EXPECT_EQ(TextOf(LMemo), L"Memo1");
    EXPECT_EQ(Form->ComboBox1->ItemIndex(), Form->ComboBox1->Items().empty() ? -1 : 0);
}

TEST_F(Win32WindowTest, ButtonClickShowsTheBoxOwnedByTheWindow) {
    Form->ComboBox1->SetItems({});
    HWND LOwner = nullptr;
    std::wstring LText;
    int LTicks = 0;
    TTimer LTimer;
    LTimer.SetInterval(20);
    // Ticks go on inside the box's loop; the last one closes it.
    LTimer.OnTimer = [&](TObject*) {
        ++LTicks;
        if (HWND LBox = FindWindowW(L"#32770", L"scaleprobe")) {
            LOwner = GetWindow(LBox, GW_OWNER);
            LText = TextOf(GetDlgItem(LBox, 0xFFFF));
            PostMessageW(LBox, WM_COMMAND, IDOK, 0);
        } else if (LTicks > 500) {
            LText = L"no box";
            LTimer.SetEnabled(false);
        }
    };
    SendMessageW(Window(*Form->Button1), BM_CLICK, 0, 0);
    LTimer.SetEnabled(false);
    EXPECT_EQ(LText, Wide(CMsgNoPort));
    EXPECT_EQ(LOwner, Window(*Form));
}

TEST_F(Win32WindowTest, UserPickInTheComboBoxReachesTheControl) {
    Form->ComboBox1->SetItems({u"COM1", u"COM2"});
    Form->ComboBox1->SetItemIndex(0);
    HWND LCombo = Window(*Form->ComboBox1);
    EXPECT_EQ(SendMessageW(LCombo, CB_GETCOUNT, 0, 0), 2);
    int LChanges = 0;
    Form->ComboBox1->OnChange = [&](TObject*) { ++LChanges; };
    // What the box does when the user picks with the keyboard.
    SetFocus(LCombo);
    SendMessageW(LCombo, WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_EQ(Form->ComboBox1->ItemIndex(), 1);
    EXPECT_EQ(Form->ComboBox1->Text(), u"COM2");
    EXPECT_EQ(LChanges, 1);
}

// A whole search through a COM port that the window harness linked to the
// simulator (tests/e2e/wine/window_e2e_test.py); skipped without one.
TEST_F(Win32WindowTest, SearchOnASimulatedIndicatorEndsWithTheFoundBox) {
    const char* LPort = std::getenv("SP_SIM_PORT");
    if (!LPort)
        GTEST_SKIP() << "no simulated port: SP_SIM_PORT is not set";
    const auto& LItems = Form->ComboBox1->Items();
    const auto LAt = std::find(LItems.begin(), LItems.end(), Utf8ToUnicode(LPort));
    ASSERT_NE(LAt, LItems.end()) << LPort << " is not in the port list";
    Form->ComboBox1->SetItemIndex(static_cast<int32_t>(LAt - LItems.begin()));

    std::wstring LBoxText, LTranscript;
    TTimer LPoll;
    LPoll.SetInterval(50);
    // Runs inside the box's own loop: reads what the user sees, then OK.
    LPoll.OnTimer = [&](TObject*) {
        HWND LBox = FindWindowW(L"#32770", L"scaleprobe");
        if (!LBox || !LBoxText.empty())
            return;
        LBoxText = TextOf(GetDlgItem(LBox, 0xFFFF));
        LTranscript = TextOf(Window(*Form->Memo1));
        PostMessageW(LBox, WM_COMMAND, IDOK, 0);
    };
    LPoll.SetEnabled(true);
    SendMessageW(Window(*Form->Button1), BM_CLICK, 0, 0);
    EXPECT_FALSE(Form->Button1->Enabled());
    ASSERT_TRUE(
        Loop.RunUntil([&] { return !LBoxText.empty() && Form->Button1->Enabled(); }, 120000));
    LPoll.SetEnabled(false);

    EXPECT_EQ(LBoxText, Wide(CMsgFound));
    // Found at the first trial: the first protocol at 9600 baud.
    const std::wstring LTrial = L"\r\n----------------------------\r\n";
    const size_t LFirst = LTranscript.find(LTrial);
    ASSERT_NE(LFirst, std::wstring::npos) << "no trial in the transcript";
    EXPECT_EQ(LTranscript.find(LTrial, LFirst + 1), std::wstring::npos) << "more than one trial";
    const std::wstring LPortName(LPort, LPort + std::strlen(LPort));
    EXPECT_NE(LTranscript.find(LTrial +
                               Wide(u"尝试第一种通讯协议(适应于宁波柯力系列以及上海耀华系列等)") +
                               L"\r\n" + LPortName + Wide(u" - 波特率: 9600")),
              std::wstring::npos)
        << "not the first protocol at 9600 baud";
    EXPECT_NE(LTranscript.find(Wide(u"找到了, 成功读取数据： ")), std::wstring::npos);
    EXPECT_EQ(Form->LEDDisplay1->Caption(), u"1000");
}

TEST_F(Win32WindowTest, ClosingTheWindowEndsTheLoop) {
    HWND LForm = Window(*Form);
    PostMessageW(LForm, WM_SYSCOMMAND, SC_CLOSE, 0);
    EXPECT_TRUE(Loop.RunUntil([&] { return Loop.QuitReceived(); }, 10000));
    EXPECT_FALSE(IsWindowVisible(LForm));
    // The window itself goes with its form.
    EXPECT_TRUE(IsWindow(LForm));
    Form.reset();
    EXPECT_FALSE(IsWindow(LForm));
}

} // namespace
