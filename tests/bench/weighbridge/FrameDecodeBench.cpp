// Decoding throughput of both scans, on a valid stream and on garbage, fed in
// chunks as the serial component delivers them. Compare with the line:
// 19200 baud is about 1.9 kB/s.
#include "weighbridge/UnitKeliD2008Frame.h"
#include "weighbridge/UnitXK3168Frame.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <random>
#include <vector>

namespace {

std::vector<uint8_t> KeliStream(size_t AFrames) {
    std::vector<uint8_t> LOut;
    for (size_t I = 0; I < AFrames; ++I) {
        const unsigned LValue = static_cast<unsigned>(I * 37 % 1000000);
        LOut.push_back(0x02);
        LOut.push_back('+');
        unsigned LDiv = 100000;
        for (int J = 0; J < 6; ++J, LDiv /= 10)
            LOut.push_back(static_cast<uint8_t>('0' + LValue / LDiv % 10));
        LOut.push_back('2');
        uint8_t LCheck[2];
        KeliD2008Check(LOut.data() + LOut.size() - 9, LCheck);
        LOut.insert(LOut.end(), {LCheck[0], LCheck[1], 0x03});
    }
    return LOut;
}

std::vector<uint8_t> XKStream(size_t AFrames) {
    std::vector<uint8_t> LOut;
    for (size_t I = 0; I < AFrames; ++I) {
        const unsigned LValue = static_cast<unsigned>(I * 37 % 1000000);
        auto Bcd = [](unsigned A) { return static_cast<uint8_t>((A / 10 % 10) << 4 | (A % 10)); };
        LOut.insert(LOut.end(), {0xFF, 0x12, Bcd(LValue), Bcd(LValue / 100), Bcd(LValue / 10000)});
    }
    return LOut;
}

std::vector<uint8_t> Garbage(size_t ALength) {
    std::mt19937 LRandom(7);
    std::vector<uint8_t> LOut(ALength);
    for (auto& LByte : LOut)
        LByte = static_cast<uint8_t>(LRandom());
    return LOut;
}

void CountWeight(void* AContext, double) {
    ++*static_cast<int64_t*>(AContext);
}

void RunDecode(benchmark::State& AState, const std::vector<uint8_t>& AStream, TFrameScan AScan) {
    const size_t LChunk = static_cast<size_t>(AState.range(0));
    int64_t LWeights = 0;
    uint8_t LBuffer[CReceivedBufferLen] = {};
    uint32_t LSize = 0;
    for (auto _ : AState) {
        for (size_t LPos = 0; LPos < AStream.size(); LPos += LChunk) {
            const size_t LLength = std::min(LChunk, AStream.size() - LPos);
            ReceiveFrames(LBuffer, LSize, AStream.data() + LPos, static_cast<uint16_t>(LLength),
                          AScan, TWeightSink{&LWeights, &CountWeight});
        }
        // Garbage can fill the buffer; start each round afresh, as a reconnect does.
        std::fill(LBuffer, LBuffer + CReceivedBufferLen, 0);
        LSize = 0;
    }
    benchmark::DoNotOptimize(LWeights);
    AState.SetBytesProcessed(static_cast<int64_t>(AState.iterations() * AStream.size()));
    AState.counters["weights/round"] =
        static_cast<double>(LWeights) / static_cast<double>(AState.iterations());
}

void BM_KeliValid(benchmark::State& AState) {
    static const auto LStream = KeliStream(5000);
    RunDecode(AState, LStream, &AnalyzeKeliD2008Frames);
}
void BM_KeliGarbage(benchmark::State& AState) {
    static const auto LStream = Garbage(60000);
    RunDecode(AState, LStream, &AnalyzeKeliD2008Frames);
}
void BM_XK3168Valid(benchmark::State& AState) {
    static const auto LStream = XKStream(12000);
    RunDecode(AState, LStream, &AnalyzeXK3168Frames);
}
void BM_XK3168Garbage(benchmark::State& AState) {
    static const auto LStream = Garbage(60000);
    RunDecode(AState, LStream, &AnalyzeXK3168Frames);
}

// Chunk sizes: about 10 ms of a 19200-baud line, and a large read.
BENCHMARK(BM_KeliValid)->Arg(19)->Arg(512);
BENCHMARK(BM_KeliGarbage)->Arg(19)->Arg(512);
BENCHMARK(BM_XK3168Valid)->Arg(19)->Arg(512);
BENCHMARK(BM_XK3168Garbage)->Arg(19)->Arg(512);

} // namespace

BENCHMARK_MAIN();
