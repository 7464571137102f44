// How many wrong weights a decoder makes of a noisy line: the simulator's
// frames of one constant weight, every bit flipped with probability P (default
// one in a hundred), or with --byte-error one bit of each byte with
// probability P (as scaleprobe-sim --flip-rate), fed in chunks as a port
// hands them over. Prints one markdown row per protocol and weight; asserts
// nothing.
//
//   measure_noisy_line [--frames N] [--bit-error P | --byte-error P] [--protocols LIST]
#include "tools/scaleprobe-sim/SimIndicator.h"
#include "weighbridge/UnitAsciiLineFrame.h"
#include "weighbridge/UnitContinuousStxFrame.h"
#include "weighbridge/UnitKeliD2008Frame.h"
#include "weighbridge/UnitReversedEqFrame.h"
#include "weighbridge/UnitXK3168Frame.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct TProtocol {
    const char* Name;
    TSimProtocol Sim;
    TFrameScan Scan;
};

// The text scans carry state; one measurement runs at a time.
TAsciiLineState GAsciiState;
TContinuousStxState GStxState;
TReversedEqState GEqState;

int32_t ScanAscii(const uint8_t* ABuffer, const uint32_t& ASize, TWeightSink ASink) {
    return AnalyzeAsciiLineFrames(ABuffer, ASize, ASink, GAsciiState);
}
int32_t ScanStx(const uint8_t* ABuffer, const uint32_t& ASize, TWeightSink ASink) {
    return AnalyzeContinuousStxFrames(ABuffer, ASize, ASink, GStxState);
}
int32_t ScanEq(const uint8_t* ABuffer, const uint32_t& ASize, TWeightSink ASink) {
    return AnalyzeReversedEqFrames(ABuffer, ASize, ASink, GEqState);
}

const TProtocol CProtocols[] = {
    {"keli", TSimProtocol::spKeli, &AnalyzeKeliD2008Frames},
    {"xk3168", TSimProtocol::spXK3168, &AnalyzeXK3168Frames},
    {"ascii", TSimProtocol::spAscii, &ScanAscii},
    {"continuous-stx", TSimProtocol::spContinuousStx, &ScanStx},
    {"reversed-eq", TSimProtocol::spReversedEq, &ScanEq},
};

struct TCount {
    double Want = 0;
    uint64_t Right = 0;
    uint64_t Wrong = 0;
    uint64_t Refused = 0;
};

void PutWeight(void* AContext, double AValue) {
    auto* LCount = static_cast<TCount*>(AContext);
    ++(AValue == LCount->Want ? LCount->Right : LCount->Wrong);
}

void PutRefused(void* AContext) {
    ++static_cast<TCount*>(AContext)->Refused;
}

struct TNoise {
    double Probability = 0.01;
    bool PerByte = false; // one bit of a byte, else each bit on its own
};

void AddNoise(std::vector<uint8_t>& AStream, TNoise ANoise, TSimRandom& ARandom) {
    for (uint8_t& LByte : AStream) {
        if (ANoise.PerByte) {
            if (ARandom.NextUnit() < ANoise.Probability)
                LByte ^= static_cast<uint8_t>(1u << (ARandom.Next() % 8));
            continue;
        }
        for (int B = 0; B < 8; ++B)
            if (ARandom.NextUnit() < ANoise.Probability)
                LByte ^= static_cast<uint8_t>(1u << B);
    }
}

TCount Measure(const TProtocol& AProtocol, double AWeight, uint64_t AFrames, TNoise ANoise) {
    TSimOptions LOptions;
    LOptions.Protocol = AProtocol.Sim;
    LOptions.Checksum = true; // continuous-stx: with its checksum
    GAsciiState.Reset();
    GStxState.Reset();
    GEqState.Reset();
    LOptions.Weights = "const:" + std::to_string(AWeight);
    TSimIndicator LIndicator(LOptions);
    TSimRandom LRandom(7);
    TCount LCount;
    LCount.Want = AWeight; // whole and in range: what the display shows
    uint8_t LBuffer[CReceivedBufferLen] = {};
    uint32_t LSize = 0;
    std::vector<uint8_t> LStream;
    const TWeightSink LSink{&LCount, &PutWeight, &PutRefused};
    for (uint64_t F = 0; F < AFrames; ++F) {
        LStream.clear();
        LIndicator.NextFrame(LStream);
        AddNoise(LStream, ANoise, LRandom);
        // Chunks of 1 to 64 bytes.
        for (size_t LPos = 0; LPos < LStream.size();) {
            const size_t LLength =
                std::min(LStream.size() - LPos, static_cast<size_t>(LRandom.Next() % 64 + 1));
            ReceiveFrames(LBuffer, LSize, LStream.data() + LPos, static_cast<uint16_t>(LLength),
                          AProtocol.Scan, LSink);
            LPos += LLength;
        }
    }
    return LCount;
}

std::vector<std::string> Split(const std::string& AText) {
    std::vector<std::string> LOut;
    std::stringstream LStream(AText);
    for (std::string LItem; std::getline(LStream, LItem, ',');)
        if (!LItem.empty())
            LOut.push_back(LItem);
    return LOut;
}

} // namespace

int main(int argc, char** argv) {
    uint64_t LFrames = 100000;
    TNoise LNoise;
    std::vector<std::string> LNames;
    for (const TProtocol& LProtocol : CProtocols)
        LNames.push_back(LProtocol.Name);
    for (int I = 1; I + 1 < argc; I += 2) {
        const std::string LArg = argv[I];
        if (LArg == "--frames")
            LFrames = std::strtoull(argv[I + 1], nullptr, 10);
        else if (LArg == "--bit-error" || LArg == "--byte-error") {
            LNoise.Probability = std::atof(argv[I + 1]);
            LNoise.PerByte = LArg == "--byte-error";
        } else if (LArg == "--protocols")
            LNames = Split(argv[I + 1]);
        else {
            std::fprintf(stderr, "usage: measure_noisy_line [--frames N] "
                                 "[--bit-error P | --byte-error P] [--protocols LIST]\n");
            return 64;
        }
    }
    std::printf("%llu frames per row, %s flipped with probability %g\n\n"
                "| protocol | weight | right | wrong | wrong per frame | refused for the check |\n"
                "|---|---|---|---|---|---|\n",
                static_cast<unsigned long long>(LFrames),
                LNoise.PerByte ? "one bit of each byte" : "each bit", LNoise.Probability);
    for (const std::string& LName : LNames)
        for (const TProtocol& LProtocol : CProtocols) {
            if (LName != LProtocol.Name)
                continue;
            for (double LWeight : {1560.0, -1560.0}) {
                const TCount LCount = Measure(LProtocol, LWeight, LFrames, LNoise);
                std::printf("| %s | %g | %llu | %llu | 1 in %.0f | %llu |\n", LProtocol.Name,
                            LWeight, static_cast<unsigned long long>(LCount.Right),
                            static_cast<unsigned long long>(LCount.Wrong),
                            LCount.Wrong ? static_cast<double>(LFrames) / LCount.Wrong : 0.0,
                            static_cast<unsigned long long>(LCount.Refused));
            }
        }
    return 0;
}
