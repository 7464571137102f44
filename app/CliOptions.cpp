#include "app/CliOptions.h"

#include <charconv>
#include <utility>

const char CCliUsage[] =
    "usage: scaleprobe-cli [--port PATH] [--list] [--simulate PROTOCOL:BAUD[:STOPBITS]] [--watch]\n"
    "                      [--extended] [--json] [--save [FILE]] [--help]\n"
    "       scaleprobe-cli --all-ports [--extended] [--json]\n"
    "       scaleprobe-cli --capture FILE [--port PATH] [--baud N [--framing 8N1|7E1|...]]\n"
    "                      [--seconds S] [--extended] [--json]\n"
    "  --port PATH      search on PATH (added to the port list when missing)\n"
    "  --list           print the port list, with what is known of each port, and exit\n"
    "  --all-ports      search every port of the list at the same time and report\n"
    "                   each port's result\n"
    "  --simulate SPEC  search a simulated indicator, e.g. keli:19200, xk3168:4800:2,\n"
    "                   ascii:57600:7E1, continuous-stx:9600:7E1 or reversed-eq:2400\n"
    "  --watch          after a success keep showing weights until interrupted\n"
    "  --extended       when the search finds nothing, go on with more rates and\n"
    "                   three text protocols (continuous-stx, reversed-eq, ascii)\n"
    "  --json           print one JSON document with the result and every trial\n"
    "                   (the transcript goes to standard error)\n"
    "  --save [FILE]    after a find, write the port and line settings into the\n"
    "                   CommConfig section of FILE (default: this program's INI)\n"
    "  --capture FILE   record what arrives, byte for byte with each read's time,\n"
    "                   into FILE (scaleprobe-sim --replay FILE plays it back);\n"
    "                   without --baud at the settings a search finds, after a find\n"
    "  --baud N         capture at N baud without searching\n"
    "  --framing F      with --baud: data bits, parity, stop bits (default 8N1)\n"
    "  --seconds S      capture for S seconds (default 10; Ctrl+C ends it sooner)\n"
    "  --help           print this text and exit\n"
    "exit status: 0 instrument found (--all-ports: on any port), 1 none found, 2 no port, a port\n"
    "that cannot be opened (--all-ports: none could) or a configuration error, 64 usage,\n"
    "128+N ended by signal N (130 for Ctrl+C)\n";

namespace {
bool ParseInt(const std::string& AText, int32_t& AValue) {
    const char* LEnd = AText.data() + AText.size();
    auto [LPtr, LErr] = std::from_chars(AText.data(), LEnd, AValue);
    return LErr == std::errc() && LPtr == LEnd;
}

// Seconds of a capture: a decimal number above 0, at most a day.
bool ParseSeconds(const std::string& AText, double& AValue) {
    size_t LUsed = 0;
    try {
        AValue = std::stod(AText, &LUsed);
    } catch (...) {
        return false;
    }
    return LUsed == AText.size() && AValue > 0 && AValue <= 86400;
}

// The values of --capture, --baud, --framing and --seconds.
bool ParseCaptureValue(const std::string& AName, const std::string& AValue, TCliOptions& AOptions,
                       std::string& AError) {
    if (AName == "--capture") {
        AOptions.Capture = true;
        AOptions.CaptureFile = AValue;
        if (!AValue.empty())
            return true;
        AError = "--capture needs a file";
    } else if (AName == "--baud") {
        int32_t LBaud = 0;
        AOptions.CaptureAt = true;
        if (ParseInt(AValue, LBaud) && LBaud > 0) {
            AOptions.CaptureSettings.BaudRate = static_cast<uint32_t>(LBaud);
            return true;
        }
        AError = "bad baud rate '" + AValue + "'";
    } else if (AName == "--framing") {
        return ParseFraming(AValue, AOptions.CaptureSettings, AError);
    } else if (ParseSeconds(AValue, AOptions.CaptureSeconds)) {
        return true;
    } else {
        AError = "bad seconds '" + AValue + "' (above 0, at most 86400)";
    }
    return false;
}
} // namespace

bool ProtocolJudgesFraming(const std::string& AProtocol) {
    return AProtocol == "ascii" || AProtocol == "continuous-stx" || AProtocol == "reversed-eq";
}

bool ParseSimulateSpec(const std::string& AText, TSimulateSpec& ASpec, std::string& AError) {
    const size_t LFirst = AText.find(':');
    if (LFirst == std::string::npos) {
        AError = "--simulate needs PROTOCOL:BAUD";
        return false;
    }
    const size_t LSecond = AText.find(':', LFirst + 1);
    ASpec.Protocol = AText.substr(0, LFirst);
    const std::string LBaud = AText.substr(LFirst + 1, LSecond - LFirst - 1);
    if (ASpec.Protocol != "keli" && ASpec.Protocol != "xk3168" &&
        !ProtocolJudgesFraming(ASpec.Protocol)) {
        AError = "unknown protocol '" + ASpec.Protocol +
                 "' (keli, xk3168, ascii, continuous-stx or reversed-eq)";
        return false;
    }
    if (!ParseInt(LBaud, ASpec.BaudRate) || ASpec.BaudRate <= 0) {
        AError = "bad baud rate '" + LBaud + "'";
        return false;
    }
    ASpec.StopBits = -1;
    ASpec.Framing = "8N1";
    if (LSecond != std::string::npos && ProtocolJudgesFraming(ASpec.Protocol)) {
        ASpec.Framing = AText.substr(LSecond + 1);
        if (ASpec.Framing != "8N1" && ASpec.Framing != "7E1" && ASpec.Framing != "7O1") {
            AError = "bad framing '" + ASpec.Framing + "' (8N1, 7E1 or 7O1)";
            return false;
        }
    } else if (LSecond != std::string::npos) {
        const std::string LStop = AText.substr(LSecond + 1);
        if (LStop == "1")
            ASpec.StopBits = 0;
        else if (LStop == "1.5")
            ASpec.StopBits = 1;
        else if (LStop == "2")
            ASpec.StopBits = 2;
        else {
            AError = "bad stop bits '" + LStop + "' (1, 1.5 or 2)";
            return false;
        }
    }
    return true;
}

bool ParseCliOptions(const std::vector<std::string>& AArgs, TCliOptions& AOptions,
                     std::string& AError) {
    AOptions = TCliOptions();
    bool LHavePort = false;
    bool LHaveFraming = false, LHaveSeconds = false;
    for (size_t I = 0; I < AArgs.size(); ++I) {
        const std::string& LArg = AArgs[I];
        const bool LHasValue = I + 1 < AArgs.size();
        if (LArg == "--help" || LArg == "-h") {
            AOptions.Help = true;
        } else if (LArg == "--list") {
            AOptions.List = true;
        } else if (LArg == "--watch") {
            AOptions.Watch = true;
        } else if (LArg == "--json") {
            AOptions.Json = true;
        } else if (LArg == "--extended") {
            AOptions.Extended = true;
        } else if (LArg == "--all-ports") {
            AOptions.AllPorts = true;
        } else if (LArg == "--save") {
            AOptions.Save = true;
            // The file is optional: a next argument that is no option.
            if (LHasValue && !AArgs[I + 1].empty() && AArgs[I + 1][0] != '-')
                AOptions.SaveFile = AArgs[++I];
        } else if (LArg == "--capture" || LArg == "--baud" || LArg == "--framing" ||
                   LArg == "--seconds") {
            if (!LHasValue) {
                AError = LArg + " needs a value";
                return false;
            }
            if (!ParseCaptureValue(LArg, AArgs[++I], AOptions, AError))
                return false;
            LHaveFraming = LHaveFraming || LArg == "--framing";
            LHaveSeconds = LHaveSeconds || LArg == "--seconds";
        } else if (LArg == "--port" || LArg == "--simulate") {
            if (!LHasValue) {
                AError = LArg + " needs a value";
                return false;
            }
            const std::string& LValue = AArgs[++I];
            if (LArg == "--port") {
                if (LValue.empty()) {
                    AError = "--port needs a path";
                    return false;
                }
                AOptions.Port = LValue;
                LHavePort = true;
            } else {
                if (!ParseSimulateSpec(LValue, AOptions.Sim, AError))
                    return false;
                AOptions.Simulate = true;
            }
        } else {
            AError = (LArg.rfind("-", 0) == 0 ? "unknown option '" : "unexpected argument '") +
                     LArg + "'";
            return false;
        }
    }
    if (AOptions.Json && AOptions.Watch) {
        AError = "--json and --watch exclude each other";
        return false;
    }
    if (LHavePort && AOptions.Simulate) {
        AError = "--port and --simulate exclude each other";
        return false;
    }
    if (!AOptions.Capture && (AOptions.CaptureAt || LHaveFraming || LHaveSeconds)) {
        AError = "--baud, --framing and --seconds need --capture";
        return false;
    }
    if (LHaveFraming && !AOptions.CaptureAt) {
        AError = "--framing needs --baud (a search captures at the settings it found)";
        return false;
    }
    if (AOptions.Capture) {
        // One port, read for a while: nothing to list, watch or search side by side.
        for (const auto& [LSet, LName] : {std::pair<bool, const char*>{AOptions.List, "--list"},
                                          {AOptions.Watch, "--watch"},
                                          {AOptions.AllPorts, "--all-ports"}})
            if (LSet) {
                AError = std::string("--capture and ") + LName + " exclude each other";
                return false;
            }
        if (AOptions.CaptureAt && (AOptions.Save || AOptions.Extended)) {
            AError = "--baud captures without a search: --save and --extended need one";
            return false;
        }
    }
    if (AOptions.AllPorts) {
        // One result per port: nothing to watch, save or choose.
        for (const auto& [LSet, LName] : {std::pair<bool, const char*>{LHavePort, "--port"},
                                          {AOptions.Simulate, "--simulate"},
                                          {AOptions.List, "--list"},
                                          {AOptions.Watch, "--watch"},
                                          {AOptions.Save, "--save"}})
            if (LSet) {
                AError = std::string("--all-ports and ") + LName + " exclude each other";
                return false;
            }
    }
    return true;
}
