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
    if (!AReport.ErrorCode.empty()) {
        LDoc["error"] = {{"code", AReport.ErrorCode}};
        if (!AReport.ErrorReason.empty())
            LDoc["error"]["reason"] = AReport.ErrorReason;
        LDoc["error"]["text"] = AReport.ErrorText;
    }
    nlohmann::ordered_json LTrials = nlohmann::ordered_json::array();
    for (const TTrialRecord& LTrial : AReport.Trials) {
        nlohmann::ordered_json LEntry = LineSettings(LTrial);
        LEntry["weights_read"] = LTrial.Weights;
        LEntry["check_refused"] = LTrial.CheckRefused;
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
