// Latency from a write on the master side to OnReceiveData on the owning
// thread, idle cost of an open port, and throughput through a pty.
#include "platform/MessageLoop.h"
#include "serial/Comm.h"
#include "tests/support/Pty.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <fcntl.h>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

namespace {

using TClock = std::chrono::steady_clock;

struct TBench {
    THeadlessLoop Loop;
    TPty Pty;
    TComm Comm;
    size_t Received = 0;
    size_t ShortBlocks = 0;
    std::string Data;
    TClock::time_point LastArrival;

    TBench() {
        Comm.SetCommName(Pty.SlaveName());
        Comm.SetOnReceiveData([this](TObject*, const uint8_t* ABuffer, uint16_t ALen) {
            LastArrival = TClock::now();
            Received += ALen;
            ShortBlocks += ALen < 1024;
            Data.append(reinterpret_cast<const char*>(ABuffer), ALen);
        });
        Comm.StartComm();
    }
};

double CpuSeconds() {
    rusage LUsage{};
    ::getrusage(RUSAGE_SELF, &LUsage);
    return static_cast<double>(LUsage.ru_utime.tv_sec + LUsage.ru_stime.tv_sec) +
           static_cast<double>(LUsage.ru_utime.tv_usec + LUsage.ru_stime.tv_usec) / 1e6;
}

void BM_ReceiveLatency(benchmark::State& AState) {
    TBench B;
    std::vector<double> LSamples;
    for (auto _ : AState) {
        // A 12-byte frame, as the indicator sends it.
        const size_t LBefore = B.Received;
        const auto LStart = TClock::now();
        B.Pty.Send("+0012345.601");
        if (!B.Loop.RunUntil([&] { return B.Received >= LBefore + 12; }, 5000)) {
            AState.SkipWithError("no data");
            break;
        }
        const double LMs =
            std::chrono::duration<double, std::milli>(B.LastArrival - LStart).count();
        LSamples.push_back(LMs);
        AState.SetIterationTime(LMs / 1000.0);
        B.Loop.RunUntil([] { return false; }, 5); // a pause between frames
    }
    if (LSamples.empty())
        return;
    std::sort(LSamples.begin(), LSamples.end());
    AState.counters["median_ms"] = LSamples[LSamples.size() / 2];
    AState.counters["p99_ms"] = LSamples[std::min(LSamples.size() - 1, LSamples.size() * 99 / 100)];
    AState.counters["max_ms"] = LSamples.back();
    AState.counters["floor_ms"] = 10; // the read interval time-out
}
BENCHMARK(BM_ReceiveLatency)->Iterations(500)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_IdleOpenPort(benchmark::State& AState) {
    TBench B;
    double LPercent = 0;
    for (auto _ : AState) {
        const double LCpu = CpuSeconds();
        const auto LStart = TClock::now();
        B.Loop.RunUntil([] { return false; }, 5000);
        const double LWall = std::chrono::duration<double>(TClock::now() - LStart).count();
        LPercent = 100.0 * (CpuSeconds() - LCpu) / LWall;
    }
    AState.counters["cpu_percent"] = LPercent;
}
BENCHMARK(BM_IdleOpenPort)->Iterations(1)->Unit(benchmark::kSecond);

void BM_Throughput(benchmark::State& AState) {
    constexpr size_t CSize = 8u << 20;
    std::string LData(CSize, '\0');
    for (size_t I = 0; I < CSize; ++I)
        LData[I] = static_cast<char>(I * 131 + I / 4093);
    for (auto _ : AState) {
        TBench B;
        const auto LStart = TClock::now();
        std::thread LWriter([&] {
            for (size_t LAt = 0; LAt < CSize; LAt += 4096)
                if (!B.Pty.Send(LData.substr(LAt, 4096)))
                    return;
        });
        const bool LAll = B.Loop.RunUntil([&] { return B.Received >= CSize; }, 120000);
        if (!LAll)
            B.Pty.CloseMaster();
        LWriter.join();
        const double LSecs = std::chrono::duration<double>(TClock::now() - LStart).count();
        if (!LAll || B.Data != LData) {
            AState.SkipWithError("data lost or out of order");
            break;
        }
        AState.SetIterationTime(LSecs);
        AState.counters["short_blocks"] = static_cast<double>(B.ShortBlocks);
        B.Comm.StopComm();
    }
    AState.SetBytesProcessed(static_cast<int64_t>(AState.iterations() * CSize));
}
BENCHMARK(BM_Throughput)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

// The same stream read straight from the slave side: the pty's own speed.
void BM_RawPtyThroughput(benchmark::State& AState) {
    constexpr size_t CSize = 8u << 20;
    const std::string LChunk(4096, 'x');
    for (auto _ : AState) {
        const TPty LPty; // raw
        const int LSlave = ::open(LPty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
        const auto LStart = TClock::now();
        std::thread LWriter([&] {
            for (size_t LAt = 0; LAt < CSize; LAt += LChunk.size())
                if (!LPty.Send(LChunk))
                    return;
        });
        size_t LGot = 0;
        char LBuffer[1024];
        while (LGot < CSize) {
            const ssize_t LRead = ::read(LSlave, LBuffer, sizeof LBuffer);
            if (LRead <= 0)
                break;
            LGot += static_cast<size_t>(LRead);
        }
        LWriter.join();
        const double LSecs = std::chrono::duration<double>(TClock::now() - LStart).count();
        ::close(LSlave);
        AState.SetIterationTime(LSecs);
        if (LGot != CSize) {
            AState.SkipWithError("short stream");
            break;
        }
    }
    AState.SetBytesProcessed(static_cast<int64_t>(AState.iterations() * CSize));
}
BENCHMARK(BM_RawPtyThroughput)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
