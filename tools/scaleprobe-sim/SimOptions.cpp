#include "tools/scaleprobe-sim/SimOptions.h"

#include "tools/scaleprobe-sim/SimIndicator.h"

#include <charconv>
#include <cmath>

namespace {

bool ParseDouble(const std::string& AText, double& AValue) {
    size_t LUsed = 0;
    try {
        AValue = std::stod(AText, &LUsed);
    } catch (...) {
        return false;
    }
    return LUsed == AText.size() && std::isfinite(AValue);
}

template <class T> bool ParseUnsigned(const std::string& AText, T& AValue) {
    const char* LEnd = AText.data() + AText.size();
    auto [LPtr, LErr] = std::from_chars(AText.data(), LEnd, AValue);
    return LErr == std::errc() && LPtr == LEnd && !AText.empty();
}

bool ParseStopBits(const std::string& AText, uint32_t& AHalfBits) {
    if (AText == "1")
        AHalfBits = 2;
    else if (AText == "1.5")
        AHalfBits = 3;
    else if (AText == "2")
        AHalfBits = 4;
    else
        return false;
    return true;
}

// Printable characters only: a line end inside would split the line.
bool ParsePrintable(const std::string& AText, std::string& AValue) {
    for (char LChar : AText)
        if (LChar < 0x20 || LChar > 0x7E)
            return false;
    AValue = AText;
    return true;
}

bool ParseParity(const std::string& AText, TUartParity& AParity) {
    if (AText == "none")
        AParity = TUartParity::upNone;
    else if (AText == "even")
        AParity = TUartParity::upEven;
    else if (AText == "odd")
        AParity = TUartParity::upOdd;
    else
        return false;
    return true;
}

bool ParseRate(const std::string& AText, double& ARate) {
    return ParseDouble(AText, ARate) && ARate >= 0 && ARate <= 1;
}

} // namespace

std::string SimUsage() {
    return "usage: scaleprobe-sim [options]\n"
           "Plays a weighing indicator on a pseudo-terminal and prints the port's path.\n"
           "  --protocol keli|xk3168|ascii|continuous-stx|reversed-eq\n"
           "                          frame protocol: keli = 12-byte STX frame,\n"
           "                          xk3168 = 5-byte 0xFF frame, ascii = text lines\n"
           "                          <prefix><weight><unit> CR LF, continuous-stx =\n"
           "                          STX, status bytes SWA SWB SWC, weight, tare, CR,\n"
           "                          reversed-eq = \"=\" and the display lowest place\n"
           "                          first (default keli)\n"
           "  --ascii-prefix TEXT     ascii: text before the weight, e.g. ST,GS,\n"
           "                          (default none)\n"
           "  --ascii-unit UNIT       ascii: text after the weight; may be empty\n"
           "                          (default kg)\n"
           "  --baud N                the indicator's baud rate, e.g. 300 ... 115200\n"
           "                          (default 9600)\n"
           "  --data-bits 7|8         the indicator's data bits (default 8)\n"
           "  --parity none|even|odd  the indicator's parity bit (default none)\n"
           "  --stop-bits 1|1.5|2     the indicator's stop bits (default 1)\n"
           "  --fps N                 frames per second (default: back to back)\n"
           "  --weights SPEC          const:V | ramp:FROM:TO:STEP | settle:TARGET[:FROM]\n"
           "                          | list:V1,V2,...  (default const:1000)\n"
           "  --hold K                send each value K frames in a row (default 1)\n"
           "  --decimals D            decimal places shown (keli and ascii 0-9,\n"
           "                          xk3168 0-6, continuous-stx 0-5, reversed-eq\n"
           "                          up to its characters less 2; default 0)\n"
           "  --duration SECONDS      stop after this time\n"
           "  --count N               stop after N frames went to an open port\n"
           "  --seed N                seed of the noise (default 1)\n"
           "  --drop-rate R           drop each byte with probability R\n"
           "  --flip-rate R           flip one bit of each byte with probability R\n"
           "  --garbage N             send N random bytes before the first frame\n"
           "  --blank-pad             keli: leading blanks instead of zeros\n"
           "  --bad-check             keli: a check that covers the STX too (a model\n"
           "                          that computes it otherwise)\n"
           "  --checksum              continuous-stx: send the checksum byte\n"
           "  --lb                    continuous-stx: the unit is lb (default kg)\n"
           "  --eq-chars 7|8          reversed-eq: characters after the \"=\" (default 7)\n"
           "  --replay FILE           play back a capture of scaleprobe-cli --capture,\n"
           "                          over and over, at its own line settings and with\n"
           "                          its timing (--count then counts its reads)\n"
           "  --no-announce           do not list the port as a virtual port\n"
           "  --verbose               report the application's line settings on stderr\n";
}

bool ParseSimOptions(const std::vector<std::string>& AArgs, TSimOptions& AOptions,
                     std::string& AError) {
    // What an indicator sends; a replay sends what its capture holds.
    static const char* const CIndicatorOptions[] = {
        "--protocol",   "--baud",      "--data-bits", "--parity",   "--stop-bits",
        "--fps",        "--weights",   "--hold",      "--decimals", "--drop-rate",
        "--flip-rate",  "--garbage",   "--seed",      "--eq-chars", "--ascii-prefix",
        "--ascii-unit", "--blank-pad", "--bad-check", "--checksum", "--lb"};
    std::string LIndicatorOption;
    for (const std::string& LArg : AArgs)
        for (const char* LName : CIndicatorOptions)
            if (LArg == LName && LIndicatorOption.empty())
                LIndicatorOption = LArg;
    for (size_t I = 0; I < AArgs.size(); ++I) {
        const std::string& LName = AArgs[I];
        auto Flag = [&](const char* AFlag) { return LName == AFlag; };
        if (Flag("--help") || Flag("-h")) {
            AOptions.Help = true;
            continue;
        }
        if (Flag("--blank-pad")) {
            AOptions.BlankPad = true;
            continue;
        }
        if (Flag("--bad-check") || Flag("--checksum") || Flag("--lb")) {
            (Flag("--bad-check")  ? AOptions.BadCheck
             : Flag("--checksum") ? AOptions.Checksum
                                  : AOptions.Pounds) = true;
            continue;
        }
        if (Flag("--no-announce")) {
            AOptions.Announce = false;
            continue;
        }
        if (Flag("--verbose")) {
            AOptions.Verbose = true;
            continue;
        }
        if (I + 1 >= AArgs.size()) {
            AError = "missing value for " + LName;
            if (LName.rfind("--", 0) != 0)
                AError = "unknown argument " + LName;
            return false;
        }
        const std::string& LValue = AArgs[++I];
        bool LOk = true;
        if (Flag("--protocol")) {
            if (LValue == "keli")
                AOptions.Protocol = TSimProtocol::spKeli;
            else if (LValue == "xk3168")
                AOptions.Protocol = TSimProtocol::spXK3168;
            else if (LValue == "ascii")
                AOptions.Protocol = TSimProtocol::spAscii;
            else if (LValue == "continuous-stx")
                AOptions.Protocol = TSimProtocol::spContinuousStx;
            else if (LValue == "reversed-eq")
                AOptions.Protocol = TSimProtocol::spReversedEq;
            else
                LOk = false;
        } else if (Flag("--baud")) {
            LOk = ParseUnsigned(LValue, AOptions.BaudRate) && AOptions.BaudRate >= 50 &&
                  AOptions.BaudRate <= 4000000;
        } else if (Flag("--data-bits")) {
            LOk = ParseUnsigned(LValue, AOptions.DataBits) &&
                  (AOptions.DataBits == 7 || AOptions.DataBits == 8);
        } else if (Flag("--parity")) {
            LOk = ParseParity(LValue, AOptions.Parity);
        } else if (Flag("--ascii-prefix")) {
            LOk = ParsePrintable(LValue, AOptions.AsciiPrefix);
        } else if (Flag("--ascii-unit")) {
            LOk = ParsePrintable(LValue, AOptions.AsciiUnit);
        } else if (Flag("--stop-bits")) {
            LOk = ParseStopBits(LValue, AOptions.StopHalfBits);
        } else if (Flag("--fps")) {
            LOk = ParseDouble(LValue, AOptions.FramesPerSecond) && AOptions.FramesPerSecond > 0;
        } else if (Flag("--weights")) {
            TWeightSequence LCheck;
            LOk = LCheck.Parse(LValue);
            AOptions.Weights = LValue;
        } else if (Flag("--hold")) {
            LOk = ParseUnsigned(LValue, AOptions.Hold) && AOptions.Hold > 0;
        } else if (Flag("--decimals")) {
            LOk = ParseUnsigned(LValue, AOptions.Decimals) && AOptions.Decimals <= 9;
        } else if (Flag("--duration")) {
            LOk = ParseDouble(LValue, AOptions.DurationSeconds) && AOptions.DurationSeconds > 0;
        } else if (Flag("--count")) {
            LOk = ParseUnsigned(LValue, AOptions.Count) && AOptions.Count > 0;
        } else if (Flag("--seed")) {
            LOk = ParseUnsigned(LValue, AOptions.Seed);
        } else if (Flag("--drop-rate")) {
            LOk = ParseRate(LValue, AOptions.DropRate);
        } else if (Flag("--flip-rate")) {
            LOk = ParseRate(LValue, AOptions.FlipRate);
        } else if (Flag("--eq-chars")) {
            LOk = ParseUnsigned(LValue, AOptions.EqChars) &&
                  (AOptions.EqChars == 7 || AOptions.EqChars == 8);
        } else if (Flag("--garbage")) {
            LOk = ParseUnsigned(LValue, AOptions.GarbageBytes);
        } else if (Flag("--replay")) {
            AOptions.ReplayFile = LValue;
            LOk = !LValue.empty();
        } else {
            AError = "unknown option " + LName;
            return false;
        }
        if (!LOk) {
            AError = "bad value for " + LName + ": " + LValue;
            return false;
        }
    }
    if (!AOptions.ReplayFile.empty() && !LIndicatorOption.empty()) {
        AError = "--replay plays its capture at the capture's settings: " + LIndicatorOption +
                 " does not go with it";
        return false;
    }
    if (AOptions.Protocol == TSimProtocol::spXK3168 && AOptions.Decimals > 6) {
        AError = "xk3168 shows at most 6 decimals";
        return false;
    }
    if (AOptions.Protocol == TSimProtocol::spContinuousStx && AOptions.Decimals > 5) {
        AError = "continuous-stx shows at most 5 decimals";
        return false;
    }
    if (AOptions.Protocol == TSimProtocol::spReversedEq &&
        AOptions.Decimals + 2 > static_cast<int>(AOptions.EqChars)) {
        AError = "reversed-eq shows at most " + std::to_string(AOptions.EqChars - 2) + " decimals";
        return false;
    }
    return true;
}
