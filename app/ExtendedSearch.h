// The console front end's extended search (--extended): when the window's
// search found nothing, more candidates on the same port, shown in the same
// transcript and display, judged by the same rule (CSuccessCount weights in
// one trial of CTestMaxTime).
#pragma once

#include "app/MainForm.h"
#include "app/SearchReport.h"

#include <functional>
#include <memory>
#include <vector>

struct TExtendedTrial {
    const char* Protocol; // "keli", "xk3168", "continuous-stx", "reversed-eq" or "ascii"
    int32_t BaudRate;
    int32_t StopBits; // the protocol's usual: what a receiver gets does not depend on it
};

// The table, in the order it is tried.
const std::vector<TExtendedTrial>& ExtendedTable();

// The client that decodes AProtocol.
std::unique_ptr<TWeighBridgeClient> CreateClientForProtocol(const std::string& AProtocol);

class TExtendedSearch {
public:
    // Shows the trials in AForm's transcript and display; AStop ends the
    // search between and within trials.
    TExtendedSearch(TForm1& AForm, std::function<bool()> AStop);

    // Runs the table on APort; each trial's record goes to AOnTrialEnd as it
    // ends. True when one found the instrument; its client then stays
    // connected (for --watch).
    bool Run(const UnicodeString& APort,
             const std::function<void(const TTrialRecord&)>& AOnTrialEnd);

    // The winning trial's client and its weights so far.
    const TWeighBridgeClient* Client() const { return FClient.get(); }
    int64_t WeightCount() const { return FWeights; }

private:
    TForm1& FForm;
    std::function<bool()> FStop;
    std::unique_ptr<TWeighBridgeClient> FClient;
    int64_t FWeights = 0;
    double FLastWeight = 0;
};

inline constexpr char16_t CExtendedHead[] = u"扩展搜索: 更多波特率与ASCII文本协议";
inline constexpr char16_t CAsciiProtocol[] = u"尝试ASCII文本协议(连续重量行)";
inline constexpr char16_t CContinuousStxProtocol[] =
    u"尝试标准连续输出协议(STX与状态字节SWA/SWB/SWC)";
inline constexpr char16_t CReversedEqProtocol[] = u"尝试\"=\"倒序连续输出协议(低位在前)";
inline constexpr char16_t CFramingHead[] = u"数据格式: ";
