#include "app/Console.h"

#include "platform/MessageLoop.h"
#include "platform/Object.h"
#include "platform/System.h"
#include "platform/Text.h"

#include "platform/Windows_win32.h"

#include <atomic>
#include <cstring>
#include <iostream>
#include <mutex>
#include <streambuf>

namespace {
// The signal numbers that the console's events stand for.
constexpr int CSigHup = 1;
constexpr int CSigInt = 2;
constexpr int CSigPipe = 13;
constexpr int CSigTerm = 15;
constexpr int CSigBreak = 21;

std::atomic<int> GSignal{0};
std::atomic<int> GExitCode{0};
// The error of the first write to standard output that failed; 0 while none
// has. Written and read on the main thread, the only one that writes there.
DWORD GStdoutError = 0;

// Set by ShutDownDone; a handler of the console's close waits on it.
HANDLE GShutDownDone = nullptr;

// The window of the live TInterruptWatch, if any.
std::mutex GWatchLock;
TWindowHandle GWatchWindow;

void RecordInterrupt(int ASignal) {
    int LNone = 0;
    GSignal.compare_exchange_strong(LNone, ASignal);
    TWindowHandle LWindow;
    {
        const std::lock_guard<std::mutex> LLock(GWatchLock);
        LWindow = GWatchWindow;
    }
    // Any message wakes the loop, which then sees Interrupted.
    if (LWindow)
        LWindow.Post(0, 0, 0);
}

// Runs on a thread the system starts for each console event.
BOOL WINAPI OnConsoleCtrl(DWORD AType) {
    switch (AType) {
    case CTRL_C_EVENT:
        RecordInterrupt(CSigInt);
        return TRUE;
    case CTRL_BREAK_EVENT:
        RecordInterrupt(CSigBreak);
        return TRUE;
    default:
        break;
    }
    // Close, log-off, shut-down: the process is ended as soon as this
    // returns, so it returns only once the run has come down.
    RecordInterrupt(AType == CTRL_CLOSE_EVENT ? CSigHup : CSigTerm);
    if (GShutDownDone != nullptr)
        WaitForSingleObject(GShutDownDone, INFINITE);
    ExitProcess(static_cast<UINT>(GExitCode.load()));
}

std::wstring WideOfUtf8(const std::string& AText) {
    if (AText.empty())
        return {};
    const int LLength = static_cast<int>(AText.size());
    const int LSize = MultiByteToWideChar(CP_UTF8, 0, AText.data(), LLength, nullptr, 0);
    std::wstring LOut(static_cast<size_t>(LSize > 0 ? LSize : 0), L'\0');
    if (LSize > 0)
        MultiByteToWideChar(CP_UTF8, 0, AText.data(), LLength, LOut.data(), LSize);
    return LOut;
}

// The length of the longest prefix of AText that ends on a whole UTF-8
// sequence; a sequence cut at the end waits for its other bytes.
size_t WholeSequences(const std::string& AText) {
    const size_t LSize = AText.size();
    for (size_t LBack = 1; LBack <= 4 && LBack <= LSize; ++LBack) {
        const unsigned char LByte = static_cast<unsigned char>(AText[LSize - LBack]);
        if ((LByte & 0xC0) == 0x80)
            continue; // a continuation byte
        size_t LNeeded = 1;
        if ((LByte & 0xE0) == 0xC0)
            LNeeded = 2;
        else if ((LByte & 0xF0) == 0xE0)
            LNeeded = 3;
        else if ((LByte & 0xF8) == 0xF0)
            LNeeded = 4;
        return LNeeded > LBack ? LSize - LBack : LSize;
    }
    return LSize;
}

// A standard stream's buffer: UTF-8 goes to a console as UTF-16, anywhere
// else unchanged. Written out at every line end and every flush.
class TStdStreamBuf final : public std::streambuf {
public:
    explicit TStdStreamBuf(DWORD AStdHandle)
        : FHandle(GetStdHandle(AStdHandle)), FIsOutput(AStdHandle == STD_OUTPUT_HANDLE) {
        DWORD LMode = 0;
        FConsole = FHandle != nullptr && FHandle != INVALID_HANDLE_VALUE &&
                   GetConsoleMode(FHandle, &LMode) != 0;
        setp(FBuffer, FBuffer + sizeof FBuffer);
    }
    ~TStdStreamBuf() override { Drain(); }
    TStdStreamBuf(const TStdStreamBuf&) = delete;
    TStdStreamBuf& operator=(const TStdStreamBuf&) = delete;

protected:
    int_type overflow(int_type ACh) override {
        if (!Drain())
            return traits_type::eof();
        if (!traits_type::eq_int_type(ACh, traits_type::eof())) {
            *pptr() = traits_type::to_char_type(ACh);
            pbump(1);
        }
        return traits_type::not_eof(ACh);
    }

    std::streamsize xsputn(const char* AText, std::streamsize ACount) override {
        const std::streamsize LPut = std::streambuf::xsputn(AText, ACount);
        if (std::memchr(AText, '\n', static_cast<size_t>(LPut)) != nullptr && !Drain())
            return 0;
        return LPut;
    }

    int sync() override { return Drain() ? 0 : -1; }

private:
    bool Drain() {
        FPending.append(pbase(), static_cast<size_t>(pptr() - pbase()));
        setp(FBuffer, FBuffer + sizeof FBuffer);
        if (FPending.empty())
            return true;
        bool LOk;
        if (FConsole) {
            const size_t LWhole = WholeSequences(FPending);
            LOk = WriteConsole(FPending.substr(0, LWhole));
            FPending.erase(0, LWhole);
        } else {
            LOk = WriteBytes(FPending);
            FPending.clear();
        }
        if (!LOk && FIsOutput && GStdoutError == 0 && !IsBrokenPipe(FLastError))
            GStdoutError = FLastError != 0 ? FLastError : ERROR_WRITE_FAULT;
        return LOk;
    }

    bool WriteConsole(const std::string& AText) {
        const std::wstring LWide = WideOfUtf8(AText);
        size_t LDone = 0;
        while (LDone < LWide.size()) {
            DWORD LWritten = 0;
            if (!WriteConsoleW(FHandle, LWide.data() + LDone,
                               static_cast<DWORD>(LWide.size() - LDone), &LWritten, nullptr) ||
                LWritten == 0) {
                FLastError = GetLastError();
                return false;
            }
            LDone += LWritten;
        }
        return true;
    }

    bool WriteBytes(const std::string& AText) {
        size_t LDone = 0;
        while (LDone < AText.size()) {
            DWORD LWritten = 0;
            if (!WriteFile(FHandle, AText.data() + LDone, static_cast<DWORD>(AText.size() - LDone),
                           &LWritten, nullptr)) {
                const DWORD LError = GetLastError();
                FLastError = LError;
                // Nobody reads the pipe any more: as SIGPIPE on Linux.
                if (IsBrokenPipe(LError))
                    RecordInterrupt(CSigPipe);
                return false;
            }
            LDone += LWritten;
        }
        return true;
    }

    static bool IsBrokenPipe(DWORD AError) {
        return AError == ERROR_BROKEN_PIPE || AError == ERROR_NO_DATA ||
               AError == ERROR_PIPE_NOT_CONNECTED;
    }

    HANDLE FHandle;
    bool FIsOutput;
    bool FConsole = false;
    // The error of the last write that failed.
    DWORD FLastError = 0;
    char FBuffer[1024];
    // Written but not yet out: on a console, a UTF-8 sequence cut in two.
    std::string FPending;
};

// Turns escape sequences on for a console; false when it has none or the
// console cannot do them (then the display is not drawn).
bool EnableTerminalSequences(HANDLE AHandle, DWORD& AOldMode) {
    if (AHandle == nullptr || AHandle == INVALID_HANDLE_VALUE ||
        !GetConsoleMode(AHandle, &AOldMode))
        return false;
    return (AOldMode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
           SetConsoleMode(AHandle, AOldMode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

} // namespace

const char CSimulatorMissing[] = "--simulate needs the Linux simulator (scaleprobe-sim runs on "
                                 "Linux only)";

struct TStandardStreams::TImpl {
    TStdStreamBuf Out{STD_OUTPUT_HANDLE};
    TStdStreamBuf Err{STD_ERROR_HANDLE};
    std::streambuf* OldOut = nullptr;
    std::streambuf* OldErr = nullptr;
};

TStandardStreams::TStandardStreams() : FImpl(std::make_unique<TImpl>()) {
    std::cout.flush();
    std::cerr.flush();
    FImpl->OldOut = std::cout.rdbuf(&FImpl->Out);
    FImpl->OldErr = std::cerr.rdbuf(&FImpl->Err);
}

TStandardStreams::~TStandardStreams() {
    std::cout.flush();
    std::cerr.flush();
    std::cout.rdbuf(FImpl->OldOut);
    std::cerr.rdbuf(FImpl->OldErr);
}

bool StandardOutputWritten(std::string& AReason) {
    std::cout.flush();
    if (GStdoutError == ERROR_INVALID_HANDLE)
        AReason = "standard output is closed";
    else if (GStdoutError != 0)
        AReason = SystemErrorText(GStdoutError);
    else if (!std::cout && !Interrupted())
        AReason = "a write failed";
    else
        return true;
    return false;
}

bool StdoutIsTerminal() {
    DWORD LOldMode = 0;
    return EnableTerminalSequences(GetStdHandle(STD_OUTPUT_HANDLE), LOldMode);
}

void InstallInterruptHandler() {
    if (GShutDownDone == nullptr)
        GShutDownDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnConsoleCtrl, TRUE);
}

bool Interrupted() {
    return GSignal.load() != 0;
}

int InterruptSignal() {
    return GSignal.load();
}

std::string SignalName(int ASignal) {
    switch (ASignal) {
    case CSigInt:
        return "Ctrl+C";
    case CSigBreak:
        return "Ctrl+Break";
    case CSigHup:
        return "console closed";
    case CSigTerm:
        return "log-off or shut-down";
    case CSigPipe:
        return "standard output closed";
    default:
        return "signal " + std::to_string(ASignal);
    }
}

void ShutDownDone(int AExitCode) {
    GExitCode.store(AExitCode);
    if (GShutDownDone != nullptr)
        SetEvent(GShutDownDone);
}

struct TInterruptWatch::TImpl {
    TMessageWindow Window{[](TMessage&) {}};
};

TInterruptWatch::TInterruptWatch() : FImpl(std::make_unique<TImpl>()) {
    const std::lock_guard<std::mutex> LLock(GWatchLock);
    GWatchWindow = FImpl->Window.Handle();
}

TInterruptWatch::~TInterruptWatch() {
    const std::lock_guard<std::mutex> LLock(GWatchLock);
    GWatchWindow = TWindowHandle();
}

std::filesystem::path FindSimulator() {
    return {};
}

TSimulatorProcess::TSimulatorProcess(const std::filesystem::path&, const std::vector<std::string>&,
                                     uint32_t) {
    throw Exception(Utf8ToUnicode(CSimulatorMissing));
}

TSimulatorProcess::~TSimulatorProcess() = default;

bool TSimulatorProcess::Stop() {
    return true;
}
