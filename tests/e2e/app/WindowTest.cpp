// The main window on Qt, under the offscreen platform: the layout's
// geometry, a screenshot, the display's pixels, stacking, placement, focus,
// the message box, the Qt loop, and the program ended by a signal.
#include "app/MainForm.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/ScratchDir.h"
#include "ui/Controls_qt.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>

#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

namespace {

QWidget* FindWindow() {
    for (QWidget* LWidget : QApplication::topLevelWidgets())
        if (LWidget->objectName() == QStringLiteral("Form1"))
            return LWidget;
    return nullptr;
}

template <class T = QWidget> T* Child(const char* AName) {
    QWidget* LWindow = FindWindow();
    return LWindow ? LWindow->findChild<T*>(QString::fromLatin1(AName)) : nullptr;
}

// The part of AImage at AX, AY equals ABitmap pixel for pixel.
::testing::AssertionResult SameArea(const QImage& AImage, int AX, int AY, const TBitmap& ABitmap) {
    for (int Y = 0; Y < ABitmap.Height(); ++Y)
        for (int X = 0; X < ABitmap.Width(); ++X) {
            const uint32_t LShown = AImage.pixel(AX + X, AY + Y) & 0xFFFFFFu;
            if (LShown != ABitmap.Pixel(X, Y))
                return ::testing::AssertionFailure()
                       << "pixel " << X << "," << Y << " shows " << std::hex << LShown
                       << " instead of " << ABitmap.Pixel(X, Y);
        }
    return ::testing::AssertionSuccess();
}

class WindowTest : public ::testing::Test {
protected:
    WindowTest() {
        Form = std::make_unique<TForm1>();
        Form->Show();
        QApplication::processEvents();
    }
    std::unique_ptr<TForm1> Form;
};

TEST_F(WindowTest, ControlsSitWhereTheLayoutPutsThem) {
    QWidget* LWindow = FindWindow();
    ASSERT_NE(LWindow, nullptr);
    EXPECT_EQ(LWindow->size(), QSize(968, 668));
    EXPECT_EQ(LWindow->minimumSize(), LWindow->maximumSize());
    EXPECT_EQ(LWindow->windowTitle(), QString::fromUtf8("自动检测地磅仪表 -- 测试"));
    EXPECT_EQ(LWindow->font().pixelSize(), 11);

    const struct {
        const char* Name;
        QRect Geometry;
    } LTable[] = {
        {"LEDDisplay1", QRect(8, 8, 665, 82)},  {"Label1", QRect(704, 32, 52, 13)},
        {"ComboBox1", QRect(784, 29, 145, 21)}, {"Button1", QRect(704, 72, 225, 81)},
        {"Memo1", QRect(8, 96, 665, 564)},      {"StatusBar1", QRect(0, 649, 968, 19)},
    };
    for (const auto& LRow : LTable) {
        QWidget* LWidget = Child(LRow.Name);
        ASSERT_NE(LWidget, nullptr) << LRow.Name;
        EXPECT_EQ(LWidget->geometry(), LRow.Geometry) << LRow.Name;
    }

    auto* LButton = Child<QPushButton>("Button1");
    ASSERT_NE(LButton, nullptr);
    EXPECT_EQ(LButton->text(), QString::fromUtf8("自动连接"));
    EXPECT_EQ(LButton->font().pixelSize(), 48);
    EXPECT_EQ(Child<QLabel>("Label1")->text(), QString::fromUtf8("可用串口:"));
    auto* LCombo = Child<QComboBox>("ComboBox1");
    EXPECT_FALSE(LCombo->isEditable());
    EXPECT_EQ(LCombo->count(), static_cast<int>(Form->ComboBox1->Items().size()));
    auto* LMemo = Child<QPlainTextEdit>("Memo1");
    EXPECT_EQ(LMemo->toPlainText(), QStringLiteral("Memo1"));
    EXPECT_EQ(LMemo->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_EQ(LMemo->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);
    auto* LBar = Child<QStatusBar>("StatusBar1");
    const QList<QLabel*> LPanels = LBar->findChildren<QLabel*>();
    ASSERT_EQ(LPanels.size(), 2);
    EXPECT_EQ(LPanels[0]->width(), 300);
    // The last panel runs on to the bar's right edge, its caption whole.
    EXPECT_EQ(LPanels[1]->geometry().right(), LBar->rect().right()) << LPanels[1]->x();
    EXPECT_LE(LPanels[1]->fontMetrics().horizontalAdvance(LPanels[1]->text()),
              LPanels[1]->contentsRect().width());
    // Tab order: button, memo, combo.
    EXPECT_EQ(LButton->nextInFocusChain(), LMemo);
}

TEST_F(WindowTest, ModelChangesReachTheWidgets) {
    Form->Memo1->Append(QStringLiteral("next").toStdU16String());
    EXPECT_EQ(Child<QPlainTextEdit>("Memo1")->toPlainText(), QStringLiteral("Memo1\nnext"));
    Form->Button1->SetEnabled(false);
    EXPECT_FALSE(Child<QPushButton>("Button1")->isEnabled());
    Form->ComboBox1->SetItems({u"/dev/ttyX", u"/dev/ttyY"});
    Form->ComboBox1->SetItemIndex(1);
    auto* LCombo = Child<QComboBox>("ComboBox1");
    EXPECT_EQ(LCombo->count(), 2);
    EXPECT_EQ(LCombo->currentText(), QStringLiteral("/dev/ttyY"));
    // A pick by the user reaches the model.
    LCombo->activated(0);
    EXPECT_EQ(Form->ComboBox1->Text(), u"/dev/ttyX");
}

TEST_F(WindowTest, ScreenshotShowsTheDisplaysBitmapPixelForPixel) {
    const std::filesystem::path LDir = SP_SCREENSHOT_DIR;
    const std::filesystem::path LFile = LDir / "scaleprobe-window.png";
    ASSERT_TRUE(SaveFormScreenshot(*Form, LFile));
    QImage LShot(QString::fromStdString(LFile.string()));
    ASSERT_FALSE(LShot.isNull());
    EXPECT_EQ(LShot.size(), QSize(968, 668));
    EXPECT_TRUE(SameArea(LShot, 8, 8, Form->LEDDisplay1->Surface()));

    Form->LEDDisplay1->SetCaption(u"987.25");
    const std::filesystem::path LSecond = LDir / "scaleprobe-window-weight.png";
    ASSERT_TRUE(SaveFormScreenshot(*Form, LSecond));
    QImage LShot2(QString::fromStdString(LSecond.string()));
    EXPECT_TRUE(SameArea(LShot2, 8, 8, Form->LEDDisplay1->Surface()));
    EXPECT_NE(LShot, LShot2);
}

TEST_F(WindowTest, StatusBarIsOpaqueAndOnTopOfTheMemo) {
    QWidget* LWindow = FindWindow();
    auto* LBar = Child<QStatusBar>("StatusBar1");
    ASSERT_NE(LBar, nullptr);
    // A point where the memo (down to 660) reaches under the bar (from 649).
    const QPoint LOverlap(600, 655);
    QWidget* LHit = LWindow->childAt(LOverlap);
    ASSERT_NE(LHit, nullptr);
    EXPECT_TRUE(LHit == LBar || LBar->isAncestorOf(LHit)) << LHit->objectName().toStdString();
    // On the window the bar looks as it does alone: nothing of the memo
    // shows through it.
    const QImage LShown = LWindow->grab(LBar->geometry()).toImage();
    const QImage LAlone = LBar->grab().toImage();
    EXPECT_TRUE(LBar->autoFillBackground());
    EXPECT_EQ(LShown.convertToFormat(QImage::Format_RGB32),
              LAlone.convertToFormat(QImage::Format_RGB32));
}

TEST_F(WindowTest, FrameOpensCentredAndWholeOnTheScreen) {
    QWidget* LWindow = FindWindow();
    const QRect LArea = LWindow->screen()->availableGeometry();
    const QRect LFrame = LWindow->frameGeometry();
    ASSERT_GT(LArea.width(), LFrame.width()) << "the test's screen is too small";
    EXPECT_TRUE(LArea.contains(LFrame)) << LFrame.x() << "," << LFrame.y();
    EXPECT_LE((LFrame.center() - LArea.center()).manhattanLength(), 16);
}

// A key as the keyboard gives it, text included.
void PressKey(int AKey, const QString& AText, Qt::KeyboardModifiers AModifiers = Qt::NoModifier) {
    QWidget* LTarget = QApplication::focusWidget();
    ASSERT_NE(LTarget, nullptr);
    QKeyEvent LPress(QEvent::KeyPress, AKey, AModifiers, AText);
    QApplication::sendEvent(LTarget, &LPress);
    QKeyEvent LRelease(QEvent::KeyRelease, AKey, AModifiers, AText);
    QApplication::sendEvent(LTarget, &LRelease);
}

TEST_F(WindowTest, TabWalksButtonMemoComboAndTheDisabledButtonKeepsKeysOutOfTheMemo) {
    QWidget* LWindow = FindWindow();
    LWindow->activateWindow();
    QApplication::setActiveWindow(LWindow);
    auto* LButton = Child<QPushButton>("Button1");
    auto* LMemo = Child<QPlainTextEdit>("Memo1");
    auto* LCombo = Child<QComboBox>("ComboBox1");
    LButton->setFocus();
    ASSERT_EQ(QApplication::focusWidget(), LButton);
    for (QWidget* LNext : {static_cast<QWidget*>(LMemo), static_cast<QWidget*>(LCombo),
                           static_cast<QWidget*>(LButton)}) {
        PressKey(Qt::Key_Tab, QStringLiteral("\t"));
        EXPECT_EQ(QApplication::focusWidget(), LNext) << LNext->objectName().toStdString();
    }
    for (QWidget* LNext : {static_cast<QWidget*>(LCombo), static_cast<QWidget*>(LMemo),
                           static_cast<QWidget*>(LButton)}) {
        PressKey(Qt::Key_Backtab, QStringLiteral("\t"), Qt::ShiftModifier);
        EXPECT_EQ(QApplication::focusWidget(), LNext) << LNext->objectName().toStdString();
    }
    EXPECT_FALSE(LMemo->isReadOnly());
    EXPECT_EQ(LMemo->toPlainText(), QStringLiteral("Memo1"));

    // A search disables the focused button: typing must not edit the
    // transcript, and the button has the focus again afterwards.
    Form->Button1->SetEnabled(false);
    EXPECT_NE(QApplication::focusWidget(), LMemo);
    PressKey(Qt::Key_X, QStringLiteral("x"));
    EXPECT_EQ(LMemo->toPlainText(), QStringLiteral("Memo1"));
    Form->Button1->SetEnabled(true);
    EXPECT_EQ(QApplication::focusWidget(), LButton);
}

TEST_F(WindowTest, MessageBoxIsWideEnoughForItsTitle) {
    const QString LOldName = QCoreApplication::applicationName();
    QCoreApplication::setApplicationName(QStringLiteral("scaleprobe weighbridge indicator"));
    int LBoxWidth = 0;
    int LTitleWidth = 0;
    QTimer LProbe;
    LProbe.setInterval(20);
    QObject::connect(&LProbe, &QTimer::timeout, [&] {
        auto* LBox = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!LBox || !LBox->isVisible())
            return;
        LBoxWidth = LBox->width();
        QFont LBold = LBox->font();
        LBold.setBold(true);
        LTitleWidth = QFontMetrics(LBold).horizontalAdvance(LBox->windowTitle());
        LBox->close();
    });
    LProbe.start();
    ShowMessage(u"找到仪表");
    LProbe.stop();
    QCoreApplication::setApplicationName(LOldName);
    ASSERT_GT(LTitleWidth, 0);
    // The title, an icon and a close button at least.
    EXPECT_GE(LBoxWidth, LTitleWidth + 100);
}

TEST(QtLoop, PostsFromAnotherThreadAndTimersArriveAlsoInAModalBox) {
    TMessageLoop* LLoop = TMessageLoop::Current();
    ASSERT_NE(LLoop, nullptr);
    std::vector<uintptr_t> LReceived;
    TMessageWindow LWindow([&](TMessage& AMsg) { LReceived.push_back(AMsg.WParam); });
    std::thread LPoster([Handle = LWindow.Handle()] {
        for (uintptr_t I = 0; I < 100; ++I)
            Handle.Post(CWmUser, I, 0);
    });
    LPoster.join();
    ASSERT_TRUE(LLoop->RunUntil([&] { return LReceived.size() == 100; }, 10000));
    for (uintptr_t I = 0; I < 100; ++I)
        EXPECT_EQ(LReceived[I], I);

    // A timer and posted messages keep arriving while a message box is open.
    int LTicks = 0;
    TTimer LTimer;
    LTimer.SetInterval(20);
    LTimer.OnTimer = [&](TObject*) {
        ++LTicks;
        LWindow.Post(CWmUser, 1000, 0);
        if (LTicks == 5)
            if (QWidget* LBox = QApplication::activeModalWidget())
                LBox->close();
    };
    LTimer.SetEnabled(true);
    ShowMessage(u"找到仪表");
    LTimer.SetEnabled(false);
    EXPECT_GE(LTicks, 5);
    LLoop->ProcessMessages();
    EXPECT_GE(LReceived.size(), 104u);
}

// The window program in a folder of its own, so that its log is this
// run's alone; ended by ASignal once it has started.
void EndProgramBySignal(int ASignal) {
    namespace fs = std::filesystem;
    const TScratchDir LDir("sp-signal-" + std::to_string(ASignal));
    const fs::path LExe = LDir / "scaleprobe";
    fs::copy_file(SP_WINDOW_PATH, LExe);
    setenv("LC_ALL", "C.UTF-8", 1);
    TChildProcess LProgram;
    ASSERT_TRUE(LProgram.Start(LExe.string(), {}));

    const auto LReadLog = [&] {
        std::string LText;
        std::error_code LError;
        for (const auto& E : fs::recursive_directory_iterator(LDir / "log", LError))
            if (E.is_regular_file())
                LText = ReadWholeFile(E.path());
        return LText;
    };
    // Generous limits: the machine may be busy.
    const auto LDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (LReadLog().find("启动软件") == std::string::npos &&
           std::chrono::steady_clock::now() < LDeadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_NE(LReadLog().find("启动软件"), std::string::npos) << "no start banner";
    ASSERT_TRUE(LProgram.Signal(ASignal));
    EXPECT_EQ(LProgram.Wait(60000), 0) << "-1: did not end; 128 + N: ended by signal N";
    std::string LLog = LReadLog();
    while (!LLog.empty() && (LLog.back() == '\n' || LLog.back() == '\r'))
        LLog.pop_back();
    const std::string LLast = LLog.substr(LLog.find_last_of('\n') + 1);
    EXPECT_EQ(LLast,
              "-------------------------- 退出软件 --------------------------------------------");
}

TEST(WindowProgram, EndsInItsShutDownOrderOnSigterm) {
    EndProgramBySignal(SIGTERM);
}

TEST(WindowProgram, EndsInItsShutDownOrderOnSigintAndSighup) {
    EndProgramBySignal(SIGINT);
    EndProgramBySignal(SIGHUP);
}

// Without a display the window says so and ends, as Qt would not: with no
// display named at all, and with one that cannot be reached.
TEST(WindowProgram, WithoutADisplaySaysSoAndExits2) {
    namespace fs = std::filesystem;
    const TScratchDir LDir("sp-nodisplay");
    const fs::path LExe = LDir / "scaleprobe";
    fs::copy_file(SP_WINDOW_PATH, LExe);
    const TEnvScope LPlatform("QT_QPA_PLATFORM", std::nullopt);
    const TEnvScope LWayland("WAYLAND_DISPLAY", std::nullopt);
    for (const std::optional<std::string>& LDisplay :
         {std::optional<std::string>(), std::optional<std::string>(":9999")}) {
        const TEnvScope LX11("DISPLAY", LDisplay);
        TChildProcess LProgram;
        ASSERT_TRUE(LProgram.Start(LExe.string(), {}, {.Errors = TChildStream::csPipe}));
        EXPECT_EQ(LProgram.Wait(60000), 2) << LDisplay.value_or("unset");
        EXPECT_EQ(LProgram.EndSignal(), 0);
        const std::string LLine = "scaleprobe: no display; use scaleprobe-cli\n";
        if (!LDisplay)
            EXPECT_EQ(LProgram.Errors(), LLine);
        else
            EXPECT_TRUE(LProgram.Errors().ends_with(LLine)) << LProgram.Errors();
    }
    EXPECT_FALSE(fs::exists(LDir / "log"));
}

} // namespace

int main(int argc, char** argv) {
    // One screen larger than the window, so that where it opens shows.
    const std::filesystem::path LScreens =
        std::filesystem::path(SP_SCREENSHOT_DIR) / "offscreen-screens.json";
    std::ofstream(LScreens) << R"({"screens": [{"name": "S1", "x": 0, "y": 0, "width": 1600,)"
                               R"( "height": 1000, "logicalDpi": 96, "logicalBaseDpi": 96,)"
                               R"( "dpr": 1}]})";
    const std::string LPlatform = "offscreen:configfile=" + LScreens.string();
    const char* LGiven = getenv("QT_QPA_PLATFORM");
    if (!LGiven || std::string(LGiven) == "offscreen")
        setenv("QT_QPA_PLATFORM", LPlatform.c_str(), 1);
    QApplication LApp(argc, argv);
    std::unique_ptr<TMessageLoop> LLoop = CreateQtMessageLoop();
    std::unique_ptr<TControlBackend> LControls = CreateQtControls();
    SetControlBackend(LControls.get());
    ::testing::InitGoogleTest(&argc, argv);
    const int LResult = RUN_ALL_TESTS();
    SetControlBackend(nullptr);
    return LResult;
}
