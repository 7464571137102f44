// The main window: LED weight display, transcript, port list, the one button
// that starts a search, status bar, and the search's two timers.
#pragma once

#include "app/DisplayView.h"
#include "app/widgets/LEDDisplay.h"
#include "platform/MessageLoop.h"
#include "ui/Controls.h"
#include "weighbridge/UnitWeighBridgeClient.h"
#include "weighbridge/UnitWeighGlobal.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

enum TAutoTestState : uint8_t {
    attStandKeli,
    attStandXK3168,
    attTestKeli,
    attTestXK3168,
    attMax,
};

// Makes the client of a trial in state AState. The window's default makes a
// TKeliD2008Client or a TXK3168Client; tests put their own in its place.
using TClientFactory = std::function<std::unique_ptr<TWeighBridgeClient>(
    TAutoTestState AState, int32_t AWeightRepeatCntWhenStable)>;

std::unique_ptr<TWeighBridgeClient> CreateClientForState(TAutoTestState AState,
                                                         int32_t AWeightRepeatCntWhenStable);

// The serial ports of the system, sorted; a failed listing shows its message
// box and gives what was read.
std::vector<UnicodeString> GetSysComList();
// Ascending, case-insensitive, character by character; duplicates kept.
void SortComList(std::vector<UnicodeString>& AList);

// What one trial of the search read, for the front ends that report it.
struct TTrialResult {
    TAutoTestState State = attStandKeli;
    TConfigComm Cfg;
    int32_t Weights = 0;
    uint64_t ElapsedMs = 0; // 0: the trial could not start
    double LastWeight = 0;
    // Set when the trial's client could not open the port: why, and what
    // kept it from opening.
    UnicodeString ConnectError;
    TPortProblem ConnectProblem = TPortProblem::ppNone;
    int32_t CheckRefused = 0; // frames whole but for their check
    // Bytes the client received, decoded or not, and the first of them.
    uint64_t BytesRead = 0;
    std::vector<uint8_t> FirstBytes = {};
};

// The protocol of a state's client, as the console front end names it:
// "keli" or "xk3168".
const char* ProtocolOfState(TAutoTestState AState);

// Logs the end of a trial: protocol, port, rate, weights and the frames
// refused for their check alone; from CCheckRefusedNotice of those on, a
// warning line of its own says that the indicator may compute its check
// otherwise.
void LogTrialEnd(const char* AProtocol, const TConfigComm& ACfg, int32_t AWeights,
                 int32_t ACheckRefused);

class TForm1 : public TForm {
    SP_CLASS(TForm1, TForm)
public:
    // Builds the window's controls and runs FormCreate. Needs the calling
    // thread's loop (for the timers).
    explicit TForm1(TClientFactory AClientFactory = CreateClientForState);
    ~TForm1() override;

    std::unique_ptr<TButton> Button1;
    std::unique_ptr<TMemo> Memo1;
    std::unique_ptr<TLEDDisplay> LEDDisplay1;
    std::unique_ptr<TComboBox> ComboBox1;
    std::unique_ptr<TLabel> Label1;
    std::unique_ptr<TTimer> TimerNextTest;
    std::unique_ptr<TTimer> TimerCheck;
    std::unique_ptr<TStatusBar> StatusBar1;

    void FormCreate(TObject* Sender);
    void FormDestroy(TObject* Sender);
    void Button1Click(TObject* Sender);
    void TimerNextTestTimer(TObject* Sender);
    void TimerCheckTimer(TObject* Sender);

    // Read access for the front ends and tests.
    TWeighBridgeClient* Bridge() const { return FBridge.get(); }
    TAutoTestState CurrTestState() const { return FCurrTestState; }
    int32_t CurrBaudRateIdx() const { return FCurrBaudRateIdx; }
    int32_t SuccessReadCount() const { return FSuccessReadCount; }
    UnicodeString CommConfig2String(const TConfigComm& ACfg) const;
    // Closes the port of the last trial (the console front end searches on).
    void FreeBridge();
    // Called at the end of each trial, found or not.
    std::function<void(const TTrialResult&)> OnTrialEnd;

private:
    void CreateLayout();
    void TestNewConfig();
    TConfigComm GetConfig() const;
    void OnMyNewWeightNotify(double AValue);
    void ReportTrial(uint64_t AElapsedMs);
    UnicodeString TestState2String() const;

    // Shows LEDDisplay1 on the window.
    std::unique_ptr<TDisplayView> FLEDView;

    std::unique_ptr<TWeighBridgeClient> FBridge;
    int32_t FCurrCommIdx = 0;
    int32_t FCurrBaudRateIdx = 0;
    TAutoTestState FCurrTestState = attStandKeli;
    uint64_t FTickStart = 0;
    int32_t FSuccessReadCount = 0;
    double FLastWeight = 0;

    TClientFactory FClientFactory;
};

inline constexpr int32_t CTestMaxTime = 1000;
inline constexpr int32_t CRepeatCntWhenStable = 10;
inline constexpr int32_t CReadIntervalTimeout = 10;
inline constexpr int32_t CSuccessCount = 4;
inline constexpr int32_t CCheckRefusedNotice = 4;
// Passes of the standard phase, each on the selected port.
inline constexpr int32_t CStandardPasses = 1;

// The texts the search shows.
inline constexpr char16_t CTrialLine[] = u"----------------------------";
inline constexpr char16_t CEndLine[] = u"~~~~~~~~~~~~~~~~";
inline constexpr char16_t CFirstProtocol[] =
    u"尝试第一种通讯协议(适应于宁波柯力系列以及上海耀华系列等)";
inline constexpr char16_t CSecondProtocol[] = u"尝试第二种通讯协议(适应与聊城昌信等)";
inline constexpr char16_t CFoundCountHead[] = u"找到了, 成功读取数据： ";
inline constexpr char16_t CFoundCountTail[] = u" 次";
inline constexpr char16_t CMsgNoPort[] = u"当前无可用串口，请检查连接后再重试";
inline constexpr char16_t CMsgFound[] = u"找到仪表";
inline constexpr char16_t CMsgNotFound[] = u"自动搜索完毕, 没有找到适配的仪表";
inline constexpr char16_t CMsgConfigError[] = u"自动搜索完毕, 配置出错";
inline constexpr char16_t CMsgPortListError[] = u"打开串口列表的注册表项出错";
