#include "app/MainForm.h"

#include "logging/UnitLogFile.h"
#include "weighbridge/UnitWeighBridgeClient_KeLi_D2008.h"
#include "weighbridge/UnitWeighBridgeClient_XK3168.h"

#include <algorithm>
#include <cwctype>

namespace {
constexpr char16_t CFormCaption[] = u"自动检测地磅仪表 -- 测试";
constexpr char16_t CCommConfigFmt[] = u"%s - 波特率: %d";
constexpr char16_t CPanelVendor[] = u"地磅仪表自动检测工具";
constexpr char16_t CPanelContact[] = u"技术支持";
constexpr int32_t CRateCount = static_cast<int32_t>(CBaudRateAry.size());

char16_t FoldCase(char16_t AChar) {
    return static_cast<char16_t>(std::towlower(static_cast<std::wint_t>(AChar)));
}

// Skips the rate at ABaudRateIdx when it is ASkipRate.
void SkipRate(int32_t& ABaudRateIdx, int32_t ASkipRate) {
    if (ABaudRateIdx < CRateCount && CBaudRateAry[static_cast<size_t>(ABaudRateIdx)] == ASkipRate)
        ++ABaudRateIdx;
}
} // namespace

const char* ProtocolOfState(TAutoTestState AState) {
    return AState == attStandKeli || AState == attTestKeli ? "keli" : "xk3168";
}

void LogTrialEnd(const char* AProtocol, const TConfigComm& ACfg, int32_t AWeights,
                 int32_t ACheckRefused) {
    if (!GLogFile)
        return;
    const UnicodeString LProtocol = Utf8ToUnicode(AProtocol);
    const long long LBaud = ACfg.BaudRate;
    GLogFile->LogInfo(Format(u"尝试结束: %s, %s - 波特率: %d, 重量 %d 个, 只有校验不符的帧 %d 个",
                             {LProtocol, ACfg.CommName, LBaud, static_cast<long long>(AWeights),
                              static_cast<long long>(ACheckRefused)}));
    if (ACheckRefused >= CCheckRefusedNotice)
        GLogFile->LogWarning(
            Format(u"%s, %s - 波特率: %d: %d 个完整的帧只有校验不符, 仪表可能用另一种方法计算校验",
                   {LProtocol, ACfg.CommName, LBaud, static_cast<long long>(ACheckRefused)}));
}

std::unique_ptr<TWeighBridgeClient> CreateClientForState(TAutoTestState AState,
                                                         int32_t AWeightRepeatCntWhenStable) {
    if (AState == attStandKeli || AState == attTestKeli)
        return std::make_unique<TKeliD2008Client>(AWeightRepeatCntWhenStable);
    return std::make_unique<TXK3168Client>(AWeightRepeatCntWhenStable);
}

void SortComList(std::vector<UnicodeString>& AList) {
    std::stable_sort(AList.begin(), AList.end(),
                     [](const UnicodeString& A, const UnicodeString& B) {
                         return std::lexicographical_compare(
                             A.begin(), A.end(), B.begin(), B.end(),
                             [](char16_t X, char16_t Y) { return FoldCase(X) < FoldCase(Y); });
                     });
}

TForm1::TForm1(TClientFactory AClientFactory)
    : TForm(u"Form1"), FClientFactory(std::move(AClientFactory)) {
    CreateLayout();
    OnCreate = Bind(this, &TForm1::FormCreate);
    OnDestroy = Bind(this, &TForm1::FormDestroy);
    DoCreate();
}

TForm1::~TForm1() {
    DoDestroy();
}

void TForm1::CreateLayout() {
    SetCaption(CFormCaption);
    SetClientSize(968, 668);
    SetColor(TSysColor::scBtnFace);
    SetFont(TFont{u"Tahoma", 11});

    Button1 = std::make_unique<TButton>(this, u"Button1");
    Button1->SetBounds(704, 72, 225, 81);
    Button1->SetCaption(u"自动连接");
    Button1->SetFont(TFont{u"Tahoma", 48});
    Button1->SetTabOrder(0);
    Button1->OnClick = Bind(this, &TForm1::Button1Click);

    Memo1 = std::make_unique<TMemo>(this, u"Memo1");
    Memo1->SetBounds(8, 96, 665, 564);
    Memo1->SetTabOrder(1);
    Memo1->Append(u"Memo1");

    LEDDisplay1 = std::make_unique<TLEDDisplay>();
    LEDDisplay1->SetBounds(8, 8, 665, 82);
    LEDDisplay1->SetAlignment(taRightJustify);
    LEDDisplay1->SetCaption(u"-000");
    FLEDView = std::make_unique<TDisplayView>(this, u"LEDDisplay1", *LEDDisplay1);

    ComboBox1 = std::make_unique<TComboBox>(this, u"ComboBox1");
    ComboBox1->SetBounds(784, 29, 145, 21);
    ComboBox1->SetTabOrder(2);

    Label1 = std::make_unique<TLabel>(this, u"Label1");
    Label1->SetBounds(704, 32, 52, 13);
    Label1->SetCaption(u"可用串口:");

    TimerNextTest = std::make_unique<TTimer>();
    TimerNextTest->SetEnabled(false);
    TimerNextTest->SetInterval(20);
    TimerNextTest->OnTimer = Bind(this, &TForm1::TimerNextTestTimer);

    TimerCheck = std::make_unique<TTimer>();
    TimerCheck->SetEnabled(false);
    TimerCheck->SetInterval(500);
    TimerCheck->OnTimer = Bind(this, &TForm1::TimerCheckTimer);

    StatusBar1 = std::make_unique<TStatusBar>(this, u"StatusBar1");
    StatusBar1->SetBounds(0, 649, 968, 19);
    StatusBar1->SetPanels({{300, CPanelVendor}, {50, CPanelContact}});

    LEDDisplay1->Loaded();
    for (TControl* LControl : Children())
        LControl->Loaded();
}

void TForm1::FormCreate(TObject*) {
    ComboBox1->SetItems(GetSysComList());
    if (!ComboBox1->Items().empty())
        ComboBox1->SetItemIndex(0);
}

void TForm1::FormDestroy(TObject*) {
    FreeBridge();
}

void TForm1::FreeBridge() {
    // Clear the field first, then free the client (which closes its port).
    std::unique_ptr<TWeighBridgeClient> LBridge = std::move(FBridge);
    LBridge.reset();
}

void TForm1::Button1Click(TObject*) {
    if (ComboBox1->Items().empty()) {
        ShowMessage(CMsgNoPort);
        return;
    }
    Button1->SetEnabled(false);
    FCurrTestState = attStandKeli;
    FCurrCommIdx = 0;
    FCurrBaudRateIdx = 0;
    TestNewConfig();
}

TConfigComm TForm1::GetConfig() const {
    TConfigComm LCfg;
    LCfg.CommName = ComboBox1->Text();
    LCfg.ReadIntervalTimeout = CReadIntervalTimeout;
    const int32_t LTestRate = FCurrBaudRateIdx >= 0 && FCurrBaudRateIdx < CRateCount
                                  ? CBaudRateAry[static_cast<size_t>(FCurrBaudRateIdx)]
                                  : 0;
    switch (FCurrTestState) {
    case attStandKeli:
        LCfg.BaudRate = 9600;
        LCfg.StopBits = 0;
        break;
    case attStandXK3168:
        LCfg.BaudRate = 4800;
        LCfg.StopBits = 2;
        break;
    case attTestKeli:
        LCfg.BaudRate = LTestRate;
        LCfg.StopBits = 0;
        break;
    case attTestXK3168:
    case attMax:
        LCfg.BaudRate = LTestRate;
        LCfg.StopBits = 2;
        break;
    }
    return LCfg;
}

void TForm1::TestNewConfig() {
    FreeBridge();
    try {
        FBridge = FClientFactory(FCurrTestState, CRepeatCntWhenStable);
    } catch (...) {
        // Treated as a trial that could not be started: on to the next one.
        FBridge.reset();
        FSuccessReadCount = 0;
        ReportTrial(0);
        TimerNextTest->SetEnabled(true);
        return;
    }
    FBridge->SetOnNewWeightNotify(Bind(this, &TForm1::OnMyNewWeightNotify));

    const TConfigComm LCfg = GetConfig();
    if (LCfg.CommName.empty()) {
        ShowMessage(CMsgConfigError);
        Button1->SetEnabled(true);
        return;
    }
    try {
        FSuccessReadCount = 0;
        FLastWeight = 0;
        Memo1->Append(u"");
        Memo1->Append(CTrialLine);
        Memo1->Append(TestState2String());
        Memo1->Append(CommConfig2String(LCfg));
        FBridge->ConnectComm(LCfg);
        FTickStart = GetTickCount64();
        TimerCheck->SetEnabled(true);
    } catch (...) {
        FreeBridge();
        ReportTrial(0);
        TimerNextTest->SetEnabled(true);
    }
}

void TForm1::ReportTrial(uint64_t AElapsedMs) {
    TTrialResult LResult;
    LResult.State = FCurrTestState;
    LResult.Cfg = GetConfig();
    LResult.Weights = FSuccessReadCount;
    LResult.ElapsedMs = AElapsedMs;
    LResult.LastWeight = FLastWeight;
    if (FBridge) {
        LResult.CheckRefused = FBridge->CheckRefusedFrames();
        LResult.BytesRead = FBridge->BytesReceived();
        LResult.FirstBytes = FBridge->FirstBytes();
        if (!FBridge->HasConnected()) {
            LResult.ConnectError = FBridge->ConnectError();
            LResult.ConnectProblem = FBridge->ConnectProblem();
        }
    }
    LogTrialEnd(ProtocolOfState(LResult.State), LResult.Cfg, LResult.Weights, LResult.CheckRefused);
    if (OnTrialEnd)
        OnTrialEnd(LResult);
}

void TForm1::TimerCheckTimer(TObject*) {
    const uint64_t LElapsed = GetTickCount64() - FTickStart;
    if (LElapsed < static_cast<uint64_t>(CTestMaxTime))
        return;
    TimerCheck->SetEnabled(false);
    ReportTrial(LElapsed);
    if (FSuccessReadCount < CSuccessCount) {
        TimerNextTest->SetEnabled(true);
        return;
    }
    Memo1->Append(u"");
    Memo1->Append(u"");
    Memo1->Append(CEndLine);
    Memo1->Append(CFoundCountHead + IntToStr(FSuccessReadCount) + CFoundCountTail);
    ShowMessage(CMsgFound);
    Button1->SetEnabled(true);
}

void TForm1::TimerNextTestTimer(TObject*) {
    TimerNextTest->SetEnabled(false);
    switch (FCurrTestState) {
    case attStandKeli:
        FCurrTestState = attStandXK3168;
        break;
    case attStandXK3168:
        ++FCurrCommIdx;
        if (FCurrCommIdx < CStandardPasses) {
            FCurrTestState = attStandKeli;
            break;
        }
        FCurrCommIdx = 0;
        FCurrTestState = attTestKeli;
        FCurrBaudRateIdx = 0;
        SkipRate(FCurrBaudRateIdx, 9600);
        break;
    case attTestKeli:
        ++FCurrBaudRateIdx;
        SkipRate(FCurrBaudRateIdx, 9600);
        if (FCurrBaudRateIdx >= CRateCount) {
            FCurrCommIdx = 0;
            FCurrTestState = attTestXK3168;
            FCurrBaudRateIdx = 0;
            SkipRate(FCurrBaudRateIdx, 4800);
        }
        break;
    case attTestXK3168:
        ++FCurrBaudRateIdx;
        SkipRate(FCurrBaudRateIdx, 4800);
        if (FCurrBaudRateIdx >= CRateCount) {
            Button1->SetEnabled(true);
            Memo1->Append(u"");
            Memo1->Append(u"");
            Memo1->Append(CEndLine);
            Memo1->Append(CMsgNotFound);
            ShowMessage(CMsgNotFound);
            return;
        }
        break;
    case attMax:
        return;
    }
    TestNewConfig();
}

void TForm1::OnMyNewWeightNotify(double AValue) {
    FLastWeight = AValue;
    LEDDisplay1->SetCaption(FloatToStr(AValue, LocaleDecimalSeparator()));
    ++FSuccessReadCount;
}

UnicodeString TForm1::TestState2String() const {
    if (FCurrTestState == attStandKeli || FCurrTestState == attTestKeli)
        return CFirstProtocol;
    return CSecondProtocol;
}

UnicodeString TForm1::CommConfig2String(const TConfigComm& ACfg) const {
    return Format(CCommConfigFmt, {ACfg.CommName, static_cast<long long>(ACfg.BaudRate)});
}
