// Measures how many weights the 0xFF-frame client reports when the line does
// not carry its frames at its rate: for both protocols on the line and every
// pair of indicator and client rate, trials as the search makes them (a fresh
// client, connect, listen one second). Prints a table; asserts nothing.
//
//   measure_false_weights [trials per pair, default 3]
#include "../../integration/sim/SimProcess.h"
#include "platform/MessageLoop.h"
#include "weighbridge/UnitWeighBridgeClient_XK3168.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

int OneTrial(const std::string& APort, int32_t ABaud, THeadlessLoop& ALoop) {
    TXK3168Client LClient(10);
    int LWeights = 0;
    LClient.SetOnNewWeightNotify([&](double) { ++LWeights; });
    LClient.ConnectComm(TConfigComm{Utf8ToUnicode(APort), ABaud, 10, 0});
    if (!LClient.HasConnected())
        return -1;
    ALoop.RunUntil([] { return false; }, 1000);
    return LWeights;
}

struct TCell {
    double PerSecond = 0;
    int Max = 0;
};

} // namespace

int main(int argc, char** argv) {
    const int LTrials = argc > 1 ? std::max(1, std::atoi(argv[1])) : 3;
    setenv("SCALEPROBE_PORTS_DIR", "/nonexistent", 1); // do not announce
    THeadlessLoop LLoop;
    std::vector<std::string> LFourOrMore;
    int LConnectFailures = 0;
    for (const char* LProtocol : {"keli", "xk3168"}) {
        std::printf("\n%s frames on the line: weights per second of listening "
                    "(most in one 1-s trial)\n\n| indicator \\ client |",
                    LProtocol);
        for (int32_t LRate : CBaudRateAry)
            std::printf(" %d |", LRate);
        std::printf("\n|---|");
        for (size_t I = 0; I < CBaudRateAry.size(); ++I)
            std::printf("---|");
        std::printf("\n");
        for (int32_t LIndicator : CBaudRateAry) {
            TSimProcess LSim({"--protocol", LProtocol, "--baud", std::to_string(LIndicator),
                              "--weights", "ramp:0:60000:20", "--no-announce"});
            std::printf("| %d |", LIndicator);
            for (int32_t LClientRate : CBaudRateAry) {
                TCell LCell;
                int LTotal = 0;
                for (int I = 0; I < LTrials; ++I) {
                    const int LGot = OneTrial(LSim.PortPath(), LClientRate, LLoop);
                    if (LGot < 0)
                        ++LConnectFailures;
                    LTotal += std::max(LGot, 0);
                    LCell.Max = std::max(LCell.Max, LGot);
                }
                LCell.PerSecond = static_cast<double>(LTotal) / LTrials;
                const bool LTrue = std::string(LProtocol) == "xk3168" && LClientRate == LIndicator;
                if (LTrue) {
                    std::printf(" (true) %.1f |", LCell.PerSecond);
                    continue;
                }
                std::printf(" %.1f (%d) |", LCell.PerSecond, LCell.Max);
                if (LCell.Max >= 4)
                    LFourOrMore.push_back(std::string(LProtocol) + " indicator " +
                                          std::to_string(LIndicator) + " / client " +
                                          std::to_string(LClientRate) + ": up to " +
                                          std::to_string(LCell.Max));
            }
            std::printf("\n");
            std::fflush(stdout);
        }
    }
    std::printf("\nPairs where a one-second trial reached four false weights:\n");
    for (const auto& LLine : LFourOrMore)
        std::printf("  %s\n", LLine.c_str());
    if (LFourOrMore.empty())
        std::printf("  none\n");
    std::printf("Trials whose connect failed: %d\n", LConnectFailures);
    return 0;
}
