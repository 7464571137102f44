#include "app/SearchReport.h"

#include <nlohmann/json.hpp>

#include <charconv>
#include <cmath>

double DisplayedNumber(double AValue) {
    if (!std::isfinite(AValue))
        return AValue;
    char LText[32];
    const auto LEnd =
        std::to_chars(LText, LText + sizeof LText, AValue, std::chars_format::general, 15).ptr;
    double LValue = AValue;
    std::from_chars(LText, LEnd, LValue);
    return LValue;
}

std::optional<size_t> MostBytesTrial(const std::vector<TTrialRecord>& ATrials) {
    std::optional<size_t> LBest;
    for (size_t I = 0; I < ATrials.size(); ++I)
        if (ATrials[I].BytesRead > (LBest ? ATrials[*LBest].BytesRead : 0))
            LBest = I;
    return LBest;
}

std::string HexBytes(const std::vector<uint8_t>& ABytes) {
    static const char CHex[] = "0123456789ABCDEF";
    std::string LOut;
    for (const uint8_t LByte : ABytes) {
        if (!LOut.empty())
            LOut.push_back(' ');
        LOut.push_back(CHex[LByte >> 4]);
        LOut.push_back(CHex[LByte & 0x0F]);
    }
    return LOut;
}

std::string AsciiBytes(const std::vector<uint8_t>& ABytes) {
    std::string LOut;
    for (const uint8_t LByte : ABytes)
        LOut.push_back(LByte >= 0x20 && LByte < 0x7F ? static_cast<char>(LByte) : '.');
    return LOut;
}

std::vector<std::string> MostBytesLines(const std::vector<TTrialRecord>& ATrials) {
    const std::optional<size_t> LBest = MostBytesTrial(ATrials);
    if (!LBest)
        return {"no bytes arrived in any trial"};
    const TTrialRecord& LTrial = ATrials[*LBest];
    return {"most bytes: " + std::to_string(LTrial.BytesRead) + " in trial " +
                std::to_string(*LBest + 1) + " (" + LTrial.Protocol + " " +
                std::to_string(LTrial.BaudRate) + " baud), the first " +
                std::to_string(LTrial.FirstBytes.size()) + ":",
            "  " + HexBytes(LTrial.FirstBytes), "  " + AsciiBytes(LTrial.FirstBytes)};
}

namespace {
nlohmann::ordered_json LineSettings(const TTrialRecord& ATrial) {
    return {{"protocol", ATrial.Protocol},
            {"baud_rate", ATrial.BaudRate},
            {"data_bits", ATrial.DataBits},
            {"parity", ATrial.Parity},
            // 1 and 2 as integers, 1.5 as it is.
            {"stop_bits", ATrial.StopBits == 1
                              ? nlohmann::ordered_json(1.5)
                              : nlohmann::ordered_json(ATrial.StopBits == 2 ? 2 : 1)}};
}

// The document of one search; AExitCode negative leaves the key out.
nlohmann::ordered_json ReportObject(const TSearchReport& AReport, int AExitCode) {
    nlohmann::ordered_json LDoc;
    LDoc["found"] = AReport.Found.has_value();
    if (AExitCode >= 0)
        LDoc["exit_code"] = AExitCode;
    LDoc["port"] =
        AReport.Port.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(AReport.Port);
    if (AReport.Found) {
        const TTrialRecord& LWin = AReport.Trials[*AReport.Found];
        const nlohmann::ordered_json LSettings = LineSettings(LWin);
        for (const auto& [LKey, LValue] : LSettings.items())
            LDoc[LKey] = LValue;
        LDoc["trial"] = *AReport.Found + 1;
        LDoc["weights_read"] = LWin.Weights;
        LDoc["last_weight"] = DisplayedNumber(LWin.LastWeight);
    }
    if (!AReport.SavedTo.empty())
        LDoc["saved_to"] = AReport.SavedTo;
    if (AReport.Capture) {
        const TCaptureReport& LCapture = *AReport.Capture;
        LDoc["capture"] = {{"file", LCapture.File},
                           {"baud_rate", LCapture.Settings.BaudRate},
                           {"framing", FramingText(LCapture.Settings)},
                           {"bytes", LCapture.Bytes},
                           {"blocks", LCapture.Blocks},
                           {"milliseconds", LCapture.ElapsedMs}};
    }
    if (!AReport.ErrorCode.empty()) {
        LDoc["error"] = {{"code", AReport.ErrorCode}};
        if (!AReport.ErrorReason.empty())
            LDoc["error"]["reason"] = AReport.ErrorReason;
        LDoc["error"]["text"] = AReport.ErrorText;
    }
    if (!AReport.Found && !AReport.Trials.empty()) {
        // Whether anything arrives at all, at a glance.
        const std::optional<size_t> LBest = MostBytesTrial(AReport.Trials);
        const std::vector<uint8_t> LBytes =
            LBest ? AReport.Trials[*LBest].FirstBytes : std::vector<uint8_t>();
        LDoc["most_bytes"] = {
            {"trial", LBest ? nlohmann::ordered_json(*LBest + 1) : nlohmann::ordered_json()},
            {"bytes", LBest ? AReport.Trials[*LBest].BytesRead : 0},
            {"hex", HexBytes(LBytes)},
            {"ascii", AsciiBytes(LBytes)}};
    }
    nlohmann::ordered_json LTrials = nlohmann::ordered_json::array();
    for (const TTrialRecord& LTrial : AReport.Trials) {
        nlohmann::ordered_json LEntry = LineSettings(LTrial);
        LEntry["weights_read"] = LTrial.Weights;
        LEntry["check_refused"] = LTrial.CheckRefused;
        LEntry["bytes_read"] = LTrial.BytesRead;
        LEntry["milliseconds"] = LTrial.ElapsedMs;
        LEntry["extended"] = LTrial.Extended;
        if (!LTrial.OpenError.empty())
            LEntry["open_error"] = LTrial.OpenError;
        LTrials.push_back(std::move(LEntry));
    }
    LDoc["trials"] = std::move(LTrials);
    return LDoc;
}

std::string Dump(const nlohmann::ordered_json& ADoc) {
    // Text that is not UTF-8 (a port name) is replaced, never thrown on.
    return ADoc.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}
} // namespace

std::string SearchReportJson(const TSearchReport& AReport, int AExitCode) {
    return Dump(ReportObject(AReport, AExitCode));
}

std::string AllPortsReportJson(const std::vector<TSearchReport>& AReports, int AExitCode,
                               const std::string& AErrorCode, const std::string& AErrorText) {
    nlohmann::ordered_json LDoc;
    bool LFound = false;
    nlohmann::ordered_json LPorts = nlohmann::ordered_json::array();
    for (const TSearchReport& LReport : AReports) {
        LFound = LFound || LReport.Found.has_value();
        LPorts.push_back(ReportObject(LReport, -1));
    }
    LDoc["found"] = LFound;
    LDoc["exit_code"] = AExitCode;
    if (!AErrorCode.empty())
        LDoc["error"] = {{"code", AErrorCode}, {"text", AErrorText}};
    LDoc["ports"] = std::move(LPorts);
    return Dump(LDoc);
}
