#include "app/LineCaptureRun.h"

#include "app/MainForm.h"
#include "serial/Comm.h"

#include <chrono>

namespace {
constexpr uint32_t CPumpSliceMs = 100;

TParity ParityOf(char AParity) {
    switch (AParity) {
    case 'O':
        return TParity::Odd;
    case 'E':
        return TParity::Even;
    case 'M':
        return TParity::Mark;
    case 'S':
        return TParity::Space;
    default:
        return TParity::None;
    }
}

int64_t UnixMicrosNow() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}
} // namespace

bool RunLineCapture(const std::string& APort, const TCaptureSettings& ASettings, double ASeconds,
                    std::ostream& AOut, const std::function<bool()>& AStop,
                    TCaptureResult& AResult) {
    AResult = TCaptureResult();
    TComm LComm(nullptr);
    LComm.SetCommName(CommDeviceName(Utf8ToUnicode(APort)));
    LComm.SetBaudRate(ASettings.BaudRate);
    LComm.SetByteSize(static_cast<TByteSize>(ASettings.DataBits - 5));
    LComm.SetParity(ParityOf(ASettings.Parity));
    LComm.SetStopBits(static_cast<TStopBits>(ASettings.StopBits));
    LComm.SetReadIntervalTimeout(static_cast<uint32_t>(CReadIntervalTimeout));

    const std::chrono::steady_clock::time_point LStart = std::chrono::steady_clock::now();
    bool LWriteFailed = false;
    // On this thread, one read at a time: each block goes out whole.
    LComm.SetOnReceiveData([&](TObject*, const uint8_t* ABuffer, uint16_t ALength) {
        if (ALength == 0 || LWriteFailed)
            return;
        const auto LMicros = std::chrono::duration_cast<std::chrono::microseconds>(
            std::chrono::steady_clock::now() - LStart);
        const std::string LBlock =
            EncodeCaptureBlock(static_cast<uint64_t>(LMicros.count()), ABuffer, ALength);
        AOut.write(LBlock.data(), static_cast<std::streamsize>(LBlock.size()));
        AOut.flush();
        LWriteFailed = !AOut;
        if (!LWriteFailed) {
            AResult.Bytes += ALength;
            ++AResult.Blocks;
        }
    });
    try {
        LComm.StartComm();
    } catch (const std::exception& E) {
        AResult.Error = "cannot open " + APort + ": " + E.what();
        return false;
    }
    const TCaptureHeader LHeader{ASettings, UnixMicrosNow(), APort};
    const std::string LBytes = EncodeCaptureHeader(LHeader);
    AOut.write(LBytes.data(), static_cast<std::streamsize>(LBytes.size()));
    AOut.flush();
    LWriteFailed = !AOut;
    const uint64_t LTickStart = GetTickCount64();
    const uint64_t LLimitMs = static_cast<uint64_t>(ASeconds * 1000);
    TMessageLoop* LLoop = TMessageLoop::Current();
    const auto LDone = [&] {
        return LWriteFailed || AStop() || GetTickCount64() - LTickStart >= LLimitMs;
    };
    while (!LLoop->RunUntil(LDone, CPumpSliceMs)) {
    }
    LComm.StopComm();
    // Blocks read before the threads ended are still queued here.
    LLoop->ProcessMessages();
    AResult.ElapsedMs = GetTickCount64() - LTickStart;
    if (LWriteFailed) {
        AResult.Error = "cannot write the capture";
        return false;
    }
    return true;
}
