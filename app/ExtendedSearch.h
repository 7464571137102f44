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
    // Shows the trials in AForm's transcript and display.
    explicit TExtendedSearch(TForm1& AForm);
    ~TExtendedSearch();
    TExtendedSearch(const TExtendedSearch&) = delete;
    TExtendedSearch& operator=(const TExtendedSearch&) = delete;

    // Starts the table on APort and returns: the trials run on the calling
    // thread's loop (a timer of this search), each trial's record going to
    // AOnTrialEnd as it ends. A find ends it with its client still connected
    // (for --watch); so does a trial whose client could not open the port,
    // without trying the rest.
    void Start(const UnicodeString& APort, std::function<void(const TTrialRecord&)> AOnTrialEnd);
    bool Running() const { return FRunning; }
    bool Found() const { return FFound; }
    // Ends a running search at once; the trial under way is recorded.
    void Stop();

    // Set when the search ended at a port that could not be opened.
    const UnicodeString& ConnectError() const { return FConnectError; }
    TPortProblem ConnectProblem() const { return FConnectProblem; }

    // The winning trial's client and its weights so far.
    const TWeighBridgeClient* Client() const { return FClient.get(); }
    // Frees the client of the search that ended (closing its port).
    void FreeClient();
    int64_t WeightCount() const { return FWeights; }

private:
    void StartTrial();
    void OnMyCheckTimer(TObject* Sender);
    // Records the trial under way; AElapsed from its open.
    void RecordTrial(uint64_t AElapsed);
    void Finish(bool AFound);

    TForm1& FForm;
    UnicodeString FPort;
    std::function<void(const TTrialRecord&)> FOnTrialEnd;
    size_t FNext = 0; // index of the trial under way in ExtendedTable()
    bool FRunning = false;
    bool FFound = false;
    uint64_t FTrialStart = 0;
    UnicodeString FConnectError;
    TPortProblem FConnectProblem = TPortProblem::ppNone;
    std::unique_ptr<TWeighBridgeClient> FClient;
    int64_t FWeights = 0;
    double FLastWeight = 0;
    // Last: it ticks into the fields above.
    std::unique_ptr<TTimer> FCheck;
};

inline constexpr char16_t CExtendedHead[] = u"扩展搜索: 更多波特率与ASCII文本协议";
inline constexpr char16_t CAsciiProtocol[] = u"尝试ASCII文本协议(连续重量行)";
inline constexpr char16_t CContinuousStxProtocol[] =
    u"尝试标准连续输出协议(STX与状态字节SWA/SWB/SWC)";
inline constexpr char16_t CReversedEqProtocol[] = u"尝试\"=\"倒序连续输出协议(低位在前)";
inline constexpr char16_t CFramingHead[] = u"数据格式: ";
