// scaleprobe: the main window.
#include "app/MainForm.h"
#include "app/Startup.h"
#include "logging/UnitLogFile.h"
#include "ui/Controls_qt.h"

#include <QApplication>
#include <QSocketNotifier>

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <memory>
#include <string>

namespace {

const char CUsage[] =
    "usage: scaleprobe [--help] [Qt options]\n"
    "Finds out on which line settings and in which frame protocol a weighing indicator\n"
    "on a serial port talks: pick the port, press the button. The window needs a display\n"
    "(without one it exits 2); scaleprobe-cli is the same search on the console.\n"
    "  --help           print this text and exit\n"
    "Qt's own options (-platform, -display, ...) are accepted too.\n"
    "Files: the INI file and the log folder (log/YYYY-MM/YYYYMMDD.log) are kept beside the\n"
    "program; where that folder cannot be written, the INI is read from\n"
    "$XDG_CONFIG_HOME/scaleprobe/scaleprobe.INI (~/.config/...) and the log goes to\n"
    "$XDG_STATE_HOME/scaleprobe/log (~/.local/state/...).\n";

// --help is answered before Qt starts, so it needs no display.
bool AsksForHelp(int argc, char** argv) {
    for (int I = 1; I < argc; ++I)
        if (std::strcmp(argv[I], "--help") == 0 || std::strcmp(argv[I], "-h") == 0)
            return true;
    return false;
}

const char CNoDisplay[] = "scaleprobe: no display; use scaleprobe-cli\n";

bool IsSet(const char* AName) {
    const char* LValue = std::getenv(AName);
    return LValue != nullptr && *LValue != '\0';
}

// The platform asked for: -platform NAME, else QT_QPA_PLATFORM; empty for
// Qt's default.
std::string RequestedPlatform(int argc, char** argv) {
    for (int I = 1; I + 1 < argc; ++I)
        if (std::strcmp(argv[I], "-platform") == 0 || std::strcmp(argv[I], "--platform") == 0)
            return argv[I + 1];
    const char* LValue = std::getenv("QT_QPA_PLATFORM");
    return LValue ? LValue : "";
}

// Whether the window surely has no display to go to: Qt's default platform
// or X11 alone, and neither a display variable nor -display names one.
// Platforms that need no display (offscreen, ...) are left to Qt.
bool LacksDisplay(int argc, char** argv) {
    if (IsSet("DISPLAY") || IsSet("WAYLAND_DISPLAY"))
        return false;
    for (int I = 1; I < argc; ++I)
        if (std::strcmp(argv[I], "-display") == 0 || std::strcmp(argv[I], "--display") == 0)
            return false;
    // A list "a;b" falls back from one to the next; "name:options".
    const std::string LList = RequestedPlatform(argc, argv);
    size_t LStart = 0;
    while (LStart <= LList.size()) {
        size_t LEnd = LList.find(';', LStart);
        if (LEnd == std::string::npos)
            LEnd = LList.size();
        const std::string LEntry = LList.substr(LStart, LEnd - LStart);
        const std::string LName = LEntry.substr(0, LEntry.find(':'));
        if (!LName.empty() && LName != "xcb")
            return false;
        LStart = LEnd + 1;
    }
    return true;
}

QtMessageHandler GQtHandler = nullptr;

// While the application object is made: a platform that cannot start (a
// display that cannot be reached) is a fatal message, after which Qt would
// abort. Nothing of the program has started yet, so it just ends.
void OnQtMessageAtStart(QtMsgType AType, const QMessageLogContext& AContext, const QString& AText) {
    if (AType == QtFatalMsg && AText.contains(QStringLiteral("platform plugin"))) {
        std::fputs(CNoDisplay, stderr);
        std::fflush(stdout);
        _exit(2);
    }
    if (GQtHandler)
        GQtHandler(AType, AContext, AText);
}

int GSignalPipe[2] = {-1, -1};

void OnStopSignal(int ASignal) {
    const int LSavedErrno = errno;
    const char LByte = static_cast<char>(ASignal);
    // A full pipe already holds a wake-up; nothing else is safe here.
    [[maybe_unused]] const ssize_t LWritten = write(GSignalPipe[1], &LByte, 1);
    errno = LSavedErrno;
}

// SIGTERM, SIGINT and SIGHUP close the windows as their close buttons do, so
// that the program goes down in its usual order. The handler only writes a
// byte into a pipe; the loop reads it and does the rest.
class TStopSignals {
public:
    TStopSignals() {
        if (pipe2(GSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
            return;
        FNotifier = std::make_unique<QSocketNotifier>(GSignalPipe[0], QSocketNotifier::Read);
        QObject::connect(FNotifier.get(), &QSocketNotifier::activated, [this] { Drain(); });
        struct sigaction LAction {};
        LAction.sa_handler = OnStopSignal;
        sigemptyset(&LAction.sa_mask);
        LAction.sa_flags = SA_RESTART;
        for (int LSignal : CSignals)
            sigaction(LSignal, &LAction, nullptr);
    }
    ~TStopSignals() {
        struct sigaction LDefault {};
        LDefault.sa_handler = SIG_DFL;
        sigemptyset(&LDefault.sa_mask);
        for (int LSignal : CSignals)
            sigaction(LSignal, &LDefault, nullptr);
        FNotifier.reset();
        for (int& LFd : GSignalPipe)
            if (LFd >= 0) {
                close(LFd);
                LFd = -1;
            }
    }
    TStopSignals(const TStopSignals&) = delete;
    TStopSignals& operator=(const TStopSignals&) = delete;

private:
    static constexpr int CSignals[] = {SIGTERM, SIGINT, SIGHUP};

    void Drain() {
        char LBuf[64];
        while (read(GSignalPipe[0], LBuf, sizeof LBuf) > 0) {
        }
        // Message boxes first, then the main window; a nested loop of a box
        // ends with its box, and the last window closed ends the main loop.
        QApplication::closeAllWindows();
        QCoreApplication::quit();
    }

    std::unique_ptr<QSocketNotifier> FNotifier;
};

} // namespace

int main(int argc, char** argv) {
    if (AsksForHelp(argc, argv)) {
        std::fputs(CUsage, stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (LacksDisplay(argc, argv)) {
        std::fputs(CNoDisplay, stderr);
        return 2;
    }
    GQtHandler = qInstallMessageHandler(OnQtMessageAtStart);
    QApplication LApp(argc, argv);
    qInstallMessageHandler(GQtHandler);
    LApp.setApplicationName(QStringLiteral("scaleprobe"));
    // Qt sets the C locale from the environment too; say so once more, for
    // the decimal separator of the weights.
    std::setlocale(LC_ALL, "");
    std::unique_ptr<TMessageLoop> LLoop = CreateQtMessageLoop();
    std::unique_ptr<TControlBackend> LControls = CreateQtControls();
    SetControlBackend(LControls.get());
    // Before the units start, so that a signal from here on is not lost;
    // it stays until they are down.
    TStopSignals LStopSignals;

    int LResult;
    try {
        StartUpUnits();
        TForm1 LForm;
        LForm.Show();
        LResult = LApp.exec();
    } catch (const std::exception& E) {
        // The window is gone by now; the units still come down in order.
        std::fprintf(stderr, "scaleprobe: %s\n", E.what());
        if (GLogFile != nullptr)
            GLogFile->LogError(u"scaleprobe: " + Utf8ToUnicode(E.what()));
        LResult = 1;
    }
    ShutDownUnits();

    SetControlBackend(nullptr);
    LControls.reset();
    LLoop.reset();
    return LResult;
}
