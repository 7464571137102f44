// Measures how many weights each client reports when the line does not carry
// its frames at its rate: for every protocol on the line, every client and
// every pair of indicator and client rate, trials as the search makes them
// (a fresh client, connect, listen one second). The client rates of one row
// run side by side, each on a simulator of its own. Prints markdown tables;
// asserts nothing.
//
//   measure_false_weights [--trials N] [--lines LIST] [--clients LIST]
//                         [--rates LIST]
//   LIST: comma-separated; protocols keli, xk3168, ascii, continuous-stx,
//   reversed-eq (default all five), rates default 300 600 1200 2400 4800 9600
//   19200 38400 57600 115200. A bare number is the trial count (default 2).
//   The continuous-stx indicator sends 7E1 with its checksum, the others 8N1.
#include "platform/MessageLoop.h"
#include "tests/support/SimProcess.h"
#include "weighbridge/UnitWeighBridgeClient_AsciiLine.h"
#include "weighbridge/UnitWeighBridgeClient_ContinuousStx.h"
#include "weighbridge/UnitWeighBridgeClient_KeLi_D2008.h"
#include "weighbridge/UnitWeighBridgeClient_ReversedEq.h"
#include "weighbridge/UnitWeighBridgeClient_XK3168.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::vector<std::string> Split(const std::string& AText) {
    std::vector<std::string> LOut;
    std::stringstream LStream(AText);
    std::string LItem;
    while (std::getline(LStream, LItem, ','))
        if (!LItem.empty())
            LOut.push_back(LItem);
    return LOut;
}

const std::vector<std::string> CProtocols{"keli", "xk3168", "ascii", "continuous-stx",
                                          "reversed-eq"};

bool KnownProtocol(const std::string& AName) {
    return std::find(CProtocols.begin(), CProtocols.end(), AName) != CProtocols.end();
}

std::unique_ptr<TWeighBridgeClient> MakeClient(const std::string& AProtocol) {
    if (AProtocol == "keli")
        return std::make_unique<TKeliD2008Client>(10);
    if (AProtocol == "xk3168")
        return std::make_unique<TXK3168Client>(10);
    if (AProtocol == "continuous-stx")
        return std::make_unique<TContinuousStxClient>(10);
    if (AProtocol == "reversed-eq")
        return std::make_unique<TReversedEqClient>(10);
    return std::make_unique<TAsciiLineClient>(10);
}

std::vector<std::string> SimArgs(const std::string& AProtocol, int32_t ABaud) {
    std::vector<std::string> LArgs{"--protocol",          AProtocol,   "--baud",
                                   std::to_string(ABaud), "--weights", "ramp:0:60000:20",
                                   "--no-announce"};
    if (AProtocol == "ascii")
        LArgs.insert(LArgs.end(), {"--ascii-prefix", "ST,GS,", "--decimals", "1"});
    if (AProtocol == "continuous-stx")
        LArgs.insert(LArgs.end(),
                     {"--data-bits", "7", "--parity", "even", "--checksum", "--decimals", "1"});
    if (AProtocol == "reversed-eq")
        LArgs.insert(LArgs.end(), {"--decimals", "1"});
    return LArgs;
}

struct TCell {
    int Total = 0;
    int Max = 0;
    int ConnectFailures = 0;
};

// One trial at every client rate at once; adds the weights to ARow.
void RunTrials(const std::vector<std::unique_ptr<TSimProcess>>& ASims,
               const std::vector<int32_t>& ARates, const std::string& AClient, int ATrials,
               THeadlessLoop& ALoop, std::vector<TCell>& ARow) {
    for (int T = 0; T < ATrials; ++T) {
        std::vector<std::unique_ptr<TWeighBridgeClient>> LClients;
        std::vector<int> LWeights(ARates.size(), 0);
        for (size_t I = 0; I < ARates.size(); ++I) {
            LClients.push_back(MakeClient(AClient));
            int* LCount = &LWeights[I];
            LClients.back()->SetOnNewWeightNotify([LCount](double) { ++*LCount; });
            LClients.back()->ConnectComm(
                TConfigComm{Utf8ToUnicode(ASims[I]->PortPath()), ARates[I], 10, 0});
            if (!LClients.back()->HasConnected())
                ++ARow[I].ConnectFailures;
        }
        ALoop.RunUntil([] { return false; }, 1000);
        LClients.clear();
        for (size_t I = 0; I < ARates.size(); ++I) {
            ARow[I].Total += LWeights[I];
            ARow[I].Max = std::max(ARow[I].Max, LWeights[I]);
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    int LTrials = 2;
    std::vector<std::string> LLines = CProtocols;
    std::vector<std::string> LClientKinds = LLines;
    std::vector<int32_t> LRates{300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
    for (int I = 1; I < argc; ++I) {
        const std::string LArg = argv[I];
        const bool LHasValue = I + 1 < argc;
        if (LArg == "--trials" && LHasValue) {
            LTrials = std::max(1, std::atoi(argv[++I]));
        } else if (LArg == "--lines" && LHasValue) {
            LLines = Split(argv[++I]);
        } else if (LArg == "--clients" && LHasValue) {
            LClientKinds = Split(argv[++I]);
        } else if (LArg == "--rates" && LHasValue) {
            LRates.clear();
            for (const auto& LRate : Split(argv[++I]))
                LRates.push_back(std::max(1, std::atoi(LRate.c_str())));
        } else if (!LArg.empty() && LArg[0] != '-') {
            LTrials = std::max(1, std::atoi(LArg.c_str()));
        } else {
            std::fprintf(stderr, "usage: measure_false_weights [--trials N] [--lines LIST] "
                                 "[--clients LIST] [--rates LIST]\n");
            return 64;
        }
    }
    for (const auto& LName : LLines)
        if (!KnownProtocol(LName)) {
            std::fprintf(stderr, "unknown protocol %s\n", LName.c_str());
            return 64;
        }
    for (const auto& LName : LClientKinds)
        if (!KnownProtocol(LName)) {
            std::fprintf(stderr, "unknown protocol %s\n", LName.c_str());
            return 64;
        }

    setenv("SCALEPROBE_PORTS_DIR", "/nonexistent", 1); // do not announce
    THeadlessLoop LLoop;
    // [line][client][indicator rate][client rate]
    std::vector<std::vector<std::vector<std::vector<TCell>>>> LCells(
        LLines.size(),
        std::vector<std::vector<std::vector<TCell>>>(
            LClientKinds.size(),
            std::vector<std::vector<TCell>>(LRates.size(), std::vector<TCell>(LRates.size()))));
    for (size_t L = 0; L < LLines.size(); ++L)
        for (size_t R = 0; R < LRates.size(); ++R) {
            std::vector<std::unique_ptr<TSimProcess>> LSims;
            for (size_t I = 0; I < LRates.size(); ++I)
                LSims.push_back(std::make_unique<TSimProcess>(SimArgs(LLines[L], LRates[R])));
            for (size_t C = 0; C < LClientKinds.size(); ++C)
                RunTrials(LSims, LRates, LClientKinds[C], LTrials, LLoop, LCells[L][C][R]);
            std::fprintf(stderr, "%s at %d done\n", LLines[L].c_str(), LRates[R]);
        }

    std::vector<std::string> LFourOrMore;
    int LConnectFailures = 0;
    // [line][client]: most false weights in one trial over every pair of rates
    std::vector<std::vector<int>> LWorst(LLines.size(), std::vector<int>(LClientKinds.size(), 0));
    for (size_t L = 0; L < LLines.size(); ++L)
        for (size_t C = 0; C < LClientKinds.size(); ++C) {
            const bool LSameProtocol = LLines[L] == LClientKinds[C];
            std::printf("\n%s on the line, %s client: weights per second of listening "
                        "(most in one 1-s trial), %d trial(s) per pair\n\n"
                        "| indicator \\ client |",
                        LLines[L].c_str(), LClientKinds[C].c_str(), LTrials);
            for (int32_t LRate : LRates)
                std::printf(" %d |", LRate);
            std::printf("\n|---|");
            for (size_t I = 0; I < LRates.size(); ++I)
                std::printf("---|");
            std::printf("\n");
            for (size_t R = 0; R < LRates.size(); ++R) {
                std::printf("| %d |", LRates[R]);
                for (size_t I = 0; I < LRates.size(); ++I) {
                    const TCell& LCell = LCells[L][C][R][I];
                    LConnectFailures += LCell.ConnectFailures;
                    const double LPerSecond = static_cast<double>(LCell.Total) / LTrials;
                    if (LSameProtocol && R == I) {
                        std::printf(" (true) %.1f |", LPerSecond);
                        continue;
                    }
                    std::printf(" %.1f (%d) |", LPerSecond, LCell.Max);
                    LWorst[L][C] = std::max(LWorst[L][C], LCell.Max);
                    if (LCell.Max >= 4)
                        LFourOrMore.push_back(LLines[L] + " indicator " +
                                              std::to_string(LRates[R]) + " / " + LClientKinds[C] +
                                              " client " + std::to_string(LRates[I]) + ": up to " +
                                              std::to_string(LCell.Max));
                }
                std::printf("\n");
            }
            std::fflush(stdout);
        }
    std::printf("\nMost false weights in one trial, over every pair of rates (the true pair "
                "left out)\n\n| line \\ client |");
    for (const auto& LClient : LClientKinds)
        std::printf(" %s |", LClient.c_str());
    std::printf("\n|---|");
    for (size_t C = 0; C < LClientKinds.size(); ++C)
        std::printf("---|");
    std::printf("\n");
    for (size_t L = 0; L < LLines.size(); ++L) {
        std::printf("| %s |", LLines[L].c_str());
        for (size_t C = 0; C < LClientKinds.size(); ++C)
            std::printf(" %d |", LWorst[L][C]);
        std::printf("\n");
    }
    std::printf("\nPairs where a one-second trial reached four false weights:\n");
    for (const auto& LLine : LFourOrMore)
        std::printf("  %s\n", LLine.c_str());
    if (LFourOrMore.empty())
        std::printf("  none\n");
    std::printf("Trials whose connect failed: %d\n", LConnectFailures);
    return 0;
}
