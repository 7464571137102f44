#include "app/ExtendedSearch.h"
#include "weighbridge/UnitWeighBridgeClient_AsciiLine.h"
#include "weighbridge/UnitWeighBridgeClient_ContinuousStx.h"
#include "weighbridge/UnitWeighBridgeClient_KeLi_D2008.h"
#include "weighbridge/UnitWeighBridgeClient_ReversedEq.h"
#include "weighbridge/UnitWeighBridgeClient_XK3168.h"

namespace {
// Ascending: an xk3168 indicator at 38400 gives the client at 57600 false
// weights, so the true rate must come first.
constexpr int32_t CExtendedRates[] = {300, 38400, 57600, 115200};
constexpr int32_t CTextRates[] = {300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
// The text protocols after both binary ones, in this order.
constexpr const char* CTextProtocols[] = {"continuous-stx", "reversed-eq", "ascii"};

// The framing a text client saw, for the record of its trial.
void ApplyFraming(const TWeighBridgeClient& AClient, TTrialRecord& ARecord) {
    const TLineFraming LFraming = AClient.Framing();
    if (LFraming != TLineFraming::lf7E1 && LFraming != TLineFraming::lf7O1)
        return;
    ARecord.DataBits = 7;
    ARecord.Parity = LFraming == TLineFraming::lf7E1 ? "even" : "odd";
}

UnicodeString ProtocolLine(const std::string& AProtocol) {
    if (AProtocol == "keli")
        return CFirstProtocol;
    if (AProtocol == "xk3168")
        return CSecondProtocol;
    if (AProtocol == "continuous-stx")
        return CContinuousStxProtocol;
    if (AProtocol == "reversed-eq")
        return CReversedEqProtocol;
    return CAsciiProtocol;
}
} // namespace

const std::vector<TExtendedTrial>& ExtendedTable() {
    static const std::vector<TExtendedTrial> LTable = [] {
        std::vector<TExtendedTrial> L;
        for (const int32_t LRate : CExtendedRates)
            L.push_back({"keli", LRate, 0});
        for (const int32_t LRate : CExtendedRates)
            L.push_back({"xk3168", LRate, 2});
        for (const char* LProtocol : CTextProtocols)
            for (const int32_t LRate : CTextRates)
                L.push_back({LProtocol, LRate, 0});
        return L;
    }();
    return LTable;
}

std::unique_ptr<TWeighBridgeClient> CreateClientForProtocol(const std::string& AProtocol) {
    if (AProtocol == "keli")
        return std::make_unique<TKeliD2008Client>(CRepeatCntWhenStable);
    if (AProtocol == "ascii")
        return std::make_unique<TAsciiLineClient>(CRepeatCntWhenStable);
    if (AProtocol == "continuous-stx")
        return std::make_unique<TContinuousStxClient>(CRepeatCntWhenStable);
    if (AProtocol == "reversed-eq")
        return std::make_unique<TReversedEqClient>(CRepeatCntWhenStable);
    return std::make_unique<TXK3168Client>(CRepeatCntWhenStable);
}

TExtendedSearch::TExtendedSearch(TForm1& AForm) : FForm(AForm), FCheck(std::make_unique<TTimer>()) {
    FCheck->SetEnabled(false);
    FCheck->OnTimer = Bind(this, &TExtendedSearch::OnMyCheckTimer);
}

TExtendedSearch::~TExtendedSearch() {
    // The timer goes first: it ticks into the client.
    FCheck.reset();
}

void TExtendedSearch::Start(const UnicodeString& APort,
                            std::function<void(const TTrialRecord&)> AOnTrialEnd) {
    FPort = APort;
    FOnTrialEnd = std::move(AOnTrialEnd);
    FNext = 0;
    FFound = false;
    FConnectError.clear();
    FConnectProblem = TPortProblem::ppNone;
    FRunning = true;
    FForm.Memo1->Append(u"");
    FForm.Memo1->Append(CExtendedHead);
    StartTrial();
}

void TExtendedSearch::StartTrial() {
    const TExtendedTrial& LTrial = ExtendedTable()[FNext];
    // Clear the field first, then free the client (which closes its port).
    std::unique_ptr<TWeighBridgeClient> LOld = std::move(FClient);
    LOld.reset();
    FClient = CreateClientForProtocol(LTrial.Protocol);
    FWeights = 0;
    FLastWeight = 0;
    FClient->SetOnNewWeightNotify([this](double AValue) {
        FLastWeight = AValue;
        ++FWeights;
        FForm.LEDDisplay1->SetCaption(FloatToStr(AValue, LocaleDecimalSeparator()));
    });
    const TConfigComm LCfg{FPort, LTrial.BaudRate, CReadIntervalTimeout, LTrial.StopBits};
    FForm.Memo1->Append(u"");
    FForm.Memo1->Append(CTrialLine);
    FForm.Memo1->Append(ProtocolLine(LTrial.Protocol));
    FForm.Memo1->Append(FForm.CommConfig2String(LCfg));
    FClient->ConnectComm(LCfg);
    // The trial's time from the open, as the window counts it.
    FTrialStart = GetTickCount64();
    if (!FClient->HasConnected()) {
        // The port is gone or taken: the other rates would not open it either.
        FConnectError = FClient->ConnectError();
        FConnectProblem = FClient->ConnectProblem();
        RecordTrial(0);
        FRunning = false;
        return;
    }
    FCheck->SetInterval(static_cast<uint32_t>(CTestMaxTime));
    FCheck->SetEnabled(true);
}

void TExtendedSearch::OnMyCheckTimer(TObject*) {
    const uint64_t LElapsed = GetTickCount64() - FTrialStart;
    if (LElapsed < static_cast<uint64_t>(CTestMaxTime)) {
        // Early (a timer may be): the rest of the second.
        FCheck->SetInterval(static_cast<uint32_t>(CTestMaxTime - LElapsed));
        return;
    }
    FCheck->SetEnabled(false);
    RecordTrial(LElapsed);
    if (FWeights >= CSuccessCount) {
        Finish(true);
        return;
    }
    if (++FNext < ExtendedTable().size()) {
        StartTrial();
        return;
    }
    std::unique_ptr<TWeighBridgeClient> LOld = std::move(FClient);
    LOld.reset();
    Finish(false);
}

void TExtendedSearch::RecordTrial(uint64_t AElapsed) {
    const TExtendedTrial& LTrial = ExtendedTable()[FNext];
    TTrialRecord LRecord;
    LRecord.Protocol = LTrial.Protocol;
    LRecord.BaudRate = LTrial.BaudRate;
    LRecord.StopBits = LTrial.StopBits;
    LRecord.Weights = static_cast<int32_t>(FWeights);
    LRecord.ElapsedMs = AElapsed;
    LRecord.Extended = true;
    LRecord.LastWeight = FLastWeight;
    LRecord.CheckRefused = FClient->CheckRefusedFrames();
    LRecord.BytesRead = FClient->BytesReceived();
    LRecord.FirstBytes = FClient->FirstBytes();
    if (FWeights >= CSuccessCount)
        ApplyFraming(*FClient, LRecord);
    if (!FClient->HasConnected())
        LRecord.OpenError = UnicodeToUtf8(FClient->ConnectError());
    LogTrialEnd(LTrial.Protocol,
                TConfigComm{FPort, LTrial.BaudRate, CReadIntervalTimeout, LTrial.StopBits},
                LRecord.Weights, LRecord.CheckRefused);
    FOnTrialEnd(LRecord);
}

void TExtendedSearch::Stop() {
    if (!FRunning)
        return;
    FCheck->SetEnabled(false);
    RecordTrial(GetTickCount64() - FTrialStart);
    FRunning = false;
}

void TExtendedSearch::FreeClient() {
    if (FRunning)
        return;
    // Clear the field first, then free the client.
    std::unique_ptr<TWeighBridgeClient> LOld = std::move(FClient);
    LOld.reset();
}

void TExtendedSearch::Finish(bool AFound) {
    FRunning = false;
    FFound = AFound;
    FForm.Memo1->Append(u"");
    FForm.Memo1->Append(u"");
    FForm.Memo1->Append(CEndLine);
    if (AFound) {
        FForm.Memo1->Append(CFoundCountHead + IntToStr(FWeights) + CFoundCountTail);
        if (FClient->Framing() != TLineFraming::lfNone)
            FForm.Memo1->Append(CFramingHead + Utf8ToUnicode(LineFramingName(FClient->Framing())));
        ShowMessage(CMsgFound);
    } else {
        FForm.Memo1->Append(CMsgNotFound);
        ShowMessage(CMsgNotFound);
    }
}
