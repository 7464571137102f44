// scaleprobe-sim: a weighing indicator on a pseudo-terminal.
#include "capture/LineCapture.h"
#include "platform/Text.h"
#include "platform/VirtualPorts.h"
#include "tools/scaleprobe-sim/CaptureReplay.h"
#include "tools/scaleprobe-sim/PtyPort.h"
#include "tools/scaleprobe-sim/SimIndicator.h"
#include "tools/scaleprobe-sim/UartLine.h"

#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <deque>
#include <exception>
#include <memory>
#include <time.h>

namespace {

volatile std::sig_atomic_t GStopSignal = 0;

void OnStopSignal(int ASignal) {
    GStopSignal = ASignal;
}

void InstallSignals() {
    struct sigaction LAction {};
    LAction.sa_handler = OnStopSignal;
    sigemptyset(&LAction.sa_mask);
    sigaction(SIGINT, &LAction, nullptr);
    sigaction(SIGTERM, &LAction, nullptr);
    sigaction(SIGHUP, &LAction, nullptr);
    sigaction(SIGQUIT, &LAction, nullptr);
    std::signal(SIGPIPE, SIG_IGN);
}

void SleepMs(long AMs) {
    timespec LWait{0, AMs * 1000000L};
    nanosleep(&LWait, nullptr); // a signal ends it early, which is what we want
}

const char* StopBitsText(uint32_t AHalfBits) {
    return AHalfBits == 2 ? "1" : AHalfBits == 3 ? "1.5" : "2";
}

// Sends frames as the indicator would and hands the line's output to the port.
class TSimulation {
public:
    // AReplay, when given, is played instead of the indicator's frames.
    TSimulation(const TSimOptions& AOptions, TPtyPort& APort, const TLineCapture* AReplay)
        : FOptions(AOptions), FPort(APort), FIndicator(AOptions),
          FLine(AOptions.BaudRate, AOptions.StopHalfBits, AOptions.DataBits, AOptions.Parity) {
        if (AReplay != nullptr) {
            FReplay = std::make_unique<TCaptureReplay>(*AReplay, FLine.TicksPerSecond(),
                                                       FLine.ByteTicks());
            FNextFrameAt = FReplay->NextStart();
        }
    }

    int Run() {
        const auto LStart = std::chrono::steady_clock::now();
        const int64_t LTicksPerSecond = FLine.TicksPerSecond();
        while (GStopSignal == 0) {
            const double LElapsed =
                std::chrono::duration<double>(std::chrono::steady_clock::now() - LStart).count();
            const int64_t LNow =
                static_cast<int64_t>(LElapsed * static_cast<double>(LTicksPerSecond));
            // Frames first: a receiver that comes up now finds the start of
            // the next byte among them, also after this process could not
            // run for a while.
            QueueFramesUntil(LNow + LTicksPerSecond / 10);
            FollowPort(LNow, FPort.DrainInput());
            Deliver(LNow);
            CountSentFrames(LNow);
            if (FOptions.Count != 0 && FFramesToPort >= FOptions.Count)
                break;
            if (FOptions.DurationSeconds > 0 && LElapsed >= FOptions.DurationSeconds)
                break;
            SleepMs(1);
        }
        Linger();
        if (FOptions.Verbose)
            std::fprintf(stderr,
                         "frames made %llu, sent to an open port %llu, bytes written %llu\n",
                         static_cast<unsigned long long>(FIndicator.FramesMade()),
                         static_cast<unsigned long long>(FFramesToPort),
                         static_cast<unsigned long long>(FBytesWritten));
        return 0;
    }

private:
    // Closing the pseudo-terminal would throw away what the application has
    // not read yet: the line goes quiet first, and the port stays half a
    // second or until the application closes it.
    void Linger() {
        for (int I = 0; I < 500 && GStopSignal == 0 && FPort.PeerOpen(); ++I) {
            FPort.DrainInput();
            SleepMs(1);
        }
    }

    // Listens at the application's rate while it has the port open; a flush
    // of its input (AFlushed) drops what the line had made for it so far.
    void FollowPort(int64_t ANow, bool AFlushed) {
        uint32_t LBaud = 0;
        uint32_t LStopBits = 1;
        const bool LOpen = FPort.PeerOpen() && FPort.LineSettings(LBaud, LStopBits) && LBaud > 0;
        if (!LOpen) {
            if (FLine.Listening() && FOptions.Verbose)
                std::fprintf(stderr, "port closed\n");
            FLine.Disconnect();
            return;
        }
        if (FLine.Listening() && LBaud == FLine.RxBaud() && LStopBits == FStopBits && !AFlushed)
            return;
        if (FOptions.Verbose)
            std::fprintf(stderr, "port open at %u baud, %u stop bit(s); indicator %u baud, %s\n",
                         LBaud, LStopBits, FOptions.BaudRate, StopBitsText(FOptions.StopHalfBits));
        if (!FLine.Listening() || LBaud != FLine.RxBaud() || AFlushed)
            FLine.Listen(LBaud, ANow);
        FStopBits = LStopBits;
    }

    int64_t FrameTick(uint64_t AFrame) const {
        return static_cast<int64_t>(
            std::llround(static_cast<double>(AFrame) * static_cast<double>(FLine.TicksPerSecond()) /
                         FOptions.FramesPerSecond));
    }

    void QueueFramesUntil(int64_t AHorizon) {
        while (FNextFrameAt < AHorizon) {
            FBytes.clear();
            if (FReplay)
                FReplay->Take(FBytes);
            else
                FIndicator.NextFrame(FBytes);
            for (uint8_t LByte : FBytes)
                FLine.Send(LByte, FNextFrameAt);
            FFrameEnds.push_back(FLine.TxIdleAt());
            if (FReplay) {
                FNextFrameAt = FReplay->NextStart();
                continue;
            }
            FNextFrameAt = FOptions.FramesPerSecond > 0
                               ? std::max(FrameTick(FIndicator.FramesMade()), FLine.TxIdleAt())
                               : FLine.TxIdleAt();
        }
    }

    // A frame counts once its last bit is on the line while the port is open.
    void CountSentFrames(int64_t ANow) {
        while (!FFrameEnds.empty() && FFrameEnds.front() <= ANow) {
            if (FLine.Listening())
                ++FFramesToPort;
            FFrameEnds.pop_front();
        }
    }

    void Deliver(int64_t ANow) {
        FReceived.clear();
        FLine.Receive(ANow, FReceived);
        if (FReceived.empty())
            return;
        // The application may have closed, flushed or set the port anew while
        // these bytes were made (this process may have waited long for the
        // processor): then they never were on its line.
        const bool LFlushed = FPort.DrainInput();
        uint32_t LBaud = 0;
        uint32_t LStopBits = 1;
        if (LFlushed || !FPort.PeerOpen() || !FPort.LineSettings(LBaud, LStopBits) ||
            LBaud != FLine.RxBaud() || LStopBits != FStopBits) {
            FollowPort(ANow, LFlushed);
            return;
        }
        FBytes.clear();
        for (const auto& LByte : FReceived)
            FBytes.push_back(LByte.Value);
        FBytesWritten += FPort.Write(FBytes.data(), FBytes.size());
    }

    TSimOptions FOptions;
    TPtyPort& FPort;
    TSimIndicator FIndicator;
    TUartLine FLine;
    std::unique_ptr<TCaptureReplay> FReplay;
    uint32_t FStopBits = 1;
    int64_t FNextFrameAt = 0;
    std::deque<int64_t> FFrameEnds;
    uint64_t FFramesToPort = 0;
    uint64_t FBytesWritten = 0;
    std::vector<uint8_t> FBytes;
    std::vector<TUartLine::TRxByte> FReceived;
};

// Reads the capture to replay and takes its line settings.
bool LoadReplay(TSimOptions& AOptions, TLineCapture& ACapture, std::string& AError) {
    if (!ReadLineCaptureFile(AOptions.ReplayFile, ACapture, AError))
        return false;
    const TCaptureSettings& LSet = ACapture.Header.Settings;
    if (LSet.BaudRate < 50 || LSet.BaudRate > 4000000 || LSet.DataBits < 7 ||
        (LSet.Parity != 'N' && LSet.Parity != 'E' && LSet.Parity != 'O')) {
        AError = "captured at " + std::to_string(LSet.BaudRate) + " baud " + FramingText(LSet) +
                 ", which the line model cannot send (50 to 4000000 baud, 7 or 8 data bits, "
                 "parity N, E or O)";
        return false;
    }
    if (ACapture.Blocks.empty()) {
        AError = "nothing arrived in this capture: no bytes to replay";
        return false;
    }
    AOptions.BaudRate = LSet.BaudRate;
    AOptions.DataBits = LSet.DataBits;
    AOptions.Parity = LSet.Parity == 'E'   ? TUartParity::upEven
                      : LSet.Parity == 'O' ? TUartParity::upOdd
                                           : TUartParity::upNone;
    AOptions.StopHalfBits = 2u + LSet.StopBits;
    return true;
}

} // namespace

int main(int argc, char** argv) try {
    TSimOptions LOptions;
    std::string LError;
    if (!ParseSimOptions(std::vector<std::string>(argv + 1, argv + argc), LOptions, LError)) {
        std::fprintf(stderr, "scaleprobe-sim: %s\n%s", LError.c_str(), SimUsage().c_str());
        return 2;
    }
    if (LOptions.Help) {
        std::fputs(SimUsage().c_str(), stdout);
        return 0;
    }
    TLineCapture LCapture;
    if (!LOptions.ReplayFile.empty() && !LoadReplay(LOptions, LCapture, LError)) {
        std::fprintf(stderr, "scaleprobe-sim: %s: %s\n", LOptions.ReplayFile.c_str(),
                     LError.c_str());
        return 2;
    }
    InstallSignals();
    {
        TPtyPort LPort;
        const UnicodeString LPath = Utf8ToUnicode(LPort.Path());
        if (LOptions.Announce && !AnnounceVirtualPort(LPath))
            std::fprintf(stderr, "scaleprobe-sim: cannot announce %s as a virtual port\n",
                         LPort.Path().c_str());
        std::printf("%s\n", LPort.Path().c_str());
        std::fflush(stdout);
        TSimulation LSimulation(LOptions, LPort, LOptions.ReplayFile.empty() ? nullptr : &LCapture);
        const int LResult = LSimulation.Run();
        if (LOptions.Announce)
            WithdrawVirtualPort(LPath);
        return LResult;
    }
} catch (const std::exception& E) {
    std::fprintf(stderr, "scaleprobe-sim: %s\n", E.what());
    return 1;
}
