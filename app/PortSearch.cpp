#include "app/PortSearch.h"

#include "logging/UnitLogFile.h"
#include "serial/PortCheck.h"

#include <algorithm>
#include <cctype>

namespace {
constexpr uint32_t CPumpSliceMs = 200;

const char* StopBitsText(int32_t AStopBits) {
    return AStopBits == 1 ? "1.5" : AStopBits == 2 ? "2" : "1";
}

std::string TrialText(const TTrialRecord& ATrial) {
    return ATrial.Protocol + " " + std::to_string(ATrial.BaudRate) + " " +
           std::to_string(ATrial.DataBits) +
           static_cast<char>(std::toupper(static_cast<unsigned char>(ATrial.Parity[0]))) +
           StopBitsText(ATrial.StopBits);
}

// What kept a port from opening, in a word or two.
const char* ProblemWords(TPortProblem AProblem) {
    switch (AProblem) {
    case TPortProblem::ppMissing:
        return "no such port";
    case TPortProblem::ppBusy:
        return "busy";
    case TPortProblem::ppDenied:
        return "permission denied";
    case TPortProblem::ppNotSerial:
        return "not a serial port";
    case TPortProblem::ppBadName:
        return "bad name";
    default:
        return "error";
    }
}

void Log(bool AError, const std::string& AText) {
    if (!GLogFile)
        return;
    if (AError)
        GLogFile->LogError(Utf8ToUnicode(AText));
    else
        GLogFile->LogInfo(Utf8ToUnicode(AText));
}
} // namespace

void SelectPort(TComboBox& ACombo, const UnicodeString& APort) {
    std::vector<UnicodeString> LItems = ACombo.Items();
    auto LIt = std::find(LItems.begin(), LItems.end(), APort);
    if (LIt == LItems.end()) {
        LItems.push_back(APort);
        SortComList(LItems);
        ACombo.SetItems(LItems);
        LIt = std::find(LItems.begin(), LItems.end(), APort);
    }
    ACombo.SetItemIndex(static_cast<int32_t>(LIt - LItems.begin()));
}

TTrialRecord RecordOf(const TTrialResult& AResult) {
    TTrialRecord LRecord;
    LRecord.Protocol = ProtocolOfState(AResult.State);
    LRecord.BaudRate = AResult.Cfg.BaudRate;
    LRecord.StopBits = AResult.Cfg.StopBits;
    LRecord.Weights = AResult.Weights;
    LRecord.ElapsedMs = AResult.ElapsedMs;
    LRecord.LastWeight = AResult.LastWeight;
    LRecord.OpenError = UnicodeToUtf8(AResult.ConnectError);
    LRecord.CheckRefused = AResult.CheckRefused;
    LRecord.BytesRead = AResult.BytesRead;
    LRecord.FirstBytes = AResult.FirstBytes;
    return LRecord;
}

TPortSearch::TPortSearch(const std::string& APort, bool AExtended)
    : FWantExtended(AExtended), FForm(std::make_unique<TForm1>()),
      FExtended(std::make_unique<TExtendedSearch>(*FForm)) {
    FForm->OnTrialEnd = [this](const TTrialResult& AResult) { OnMyTrialEnd(AResult); };
    // Without a port the window's button says that there is none.
    const std::string LName = APort.empty() ? UnicodeToUtf8(FForm->ComboBox1->Text()) : APort;
    std::string LPort;
    if (!LName.empty() && !PortNameOf(LName, LPort, FBadName)) {
        FReport.Port = LName;
        return;
    }
    if (!LName.empty())
        SelectPort(*FForm->ComboBox1, Utf8ToUnicode(LPort));
    FReport.Port = UnicodeToUtf8(FForm->ComboBox1->Text());
}

TPortSearch::~TPortSearch() {
    // The extended search's client and timer go before the window.
    FExtended.reset();
    FForm.reset();
}

void TPortSearch::Start() {
    if (!FBadName.empty()) {
        EndCannotOpen(FBadName, TPortProblem::ppBadName);
        return;
    }
    if (!FReport.Port.empty()) {
        const TPortCheck LCheck = CheckSerialPort(FReport.Port);
        if (!LCheck.Ok()) {
            EndCannotOpen(LCheck.Reason, LCheck.Problem);
            return;
        }
    }
    FPhase = TPhase::phStandard;
    FForm->Button1->Click();
}

bool TPortSearch::Pending() const {
    switch (FPhase) {
    case TPhase::phStandard:
        // The button is off from the start of the window's search to its end.
        return FLost || FForm->Button1->Enabled();
    case TPhase::phExtended:
        return !FExtended->Running();
    default:
        return false;
    }
}

void TPortSearch::Step() {
    if (!Pending())
        return;
    if (FPhase == TPhase::phStandard)
        StepStandard();
    else
        StepExtended();
}

void TPortSearch::StepStandard() {
    if (FLost) {
        // The window would go on to its next trial on a port that is gone.
        FForm->TimerNextTest->SetEnabled(false);
        FForm->TimerCheck->SetEnabled(false);
        FForm->FreeBridge();
        EndLost(FLostError, FLostProblem);
        return;
    }
    const std::vector<TTrialRecord>& LTrials = FReport.Trials;
    if (FForm->ComboBox1->Items().empty()) {
        FReport.ErrorCode = "no-port";
        FReport.ErrorText = UnicodeToUtf8(CMsgNoPort);
        EndAt(TPortSearchEnd::peNoPort);
    } else if (LTrials.empty()) {
        FReport.ErrorCode = "config";
        FReport.ErrorText = UnicodeToUtf8(CMsgConfigError);
        EndAt(TPortSearchEnd::peConfigError);
    } else if (LTrials.back().Weights >= CSuccessCount) {
        // The window judges the trial it reported last.
        FReport.Found = LTrials.size() - 1;
        EndAt(TPortSearchEnd::peFound);
    } else if (FWantExtended) {
        // The window's last trial lets go of the port first.
        FForm->FreeBridge();
        FPhase = TPhase::phExtended;
        FExtended->Start(FForm->ComboBox1->Text(),
                         [this](const TTrialRecord& ARecord) { AddTrial(ARecord); });
    } else {
        EndAt(TPortSearchEnd::peNotFound);
    }
}

void TPortSearch::StepExtended() {
    if (!FExtended->ConnectError().empty()) {
        EndLost(FExtended->ConnectError(), FExtended->ConnectProblem());
    } else if (FExtended->Found()) {
        FReport.Found = FReport.Trials.size() - 1;
        EndAt(TPortSearchEnd::peFound);
    } else {
        EndAt(TPortSearchEnd::peNotFound);
    }
}

void TPortSearch::Stop() {
    if (Done())
        return;
    if (FPhase == TPhase::phStandard) {
        FForm->TimerNextTest->SetEnabled(false);
        FForm->TimerCheck->SetEnabled(false);
    } else if (FPhase == TPhase::phExtended) {
        FExtended->Stop();
    }
    EndAt(TPortSearchEnd::peStopped);
}

void TPortSearch::ReleasePort() {
    FForm->FreeBridge();
    FExtended->FreeClient();
}

void TPortSearch::OnMyTrialEnd(const TTrialResult& AResult) {
    AddTrial(RecordOf(AResult));
    if (!AResult.ConnectError.empty()) {
        FLost = true;
        FLostError = AResult.ConnectError;
        FLostProblem = AResult.ConnectProblem;
    }
}

void TPortSearch::AddTrial(const TTrialRecord& ARecord) {
    FReport.Trials.push_back(ARecord);
    if (OnTrialRecorded)
        OnTrialRecorded(ARecord, FReport.Trials.size());
}

void TPortSearch::EndLost(const UnicodeString& AError, TPortProblem AProblem) {
    const std::string LTrial = std::to_string(FReport.Trials.size());
    const std::string LError = UnicodeToUtf8(AError);
    FReport.ErrorCode = "port";
    FReport.ErrorReason = PortProblemCode(AProblem);
    FDetail = (AProblem == TPortProblem::ppMissing ? "vanished in trial "
                                                   : "could not be opened in trial ") +
              LTrial + ": " + LError;
    FReport.ErrorText = "port " + FReport.Port + " " + FDetail;
    FForm->Memo1->Append(u"");
    FForm->Memo1->Append(Utf8ToUnicode("trial " + LTrial + " could not open the port: " + LError));
    EndAt(TPortSearchEnd::peLost);
}

void TPortSearch::EndCannotOpen(const std::string& AReason, TPortProblem AProblem) {
    FReport.ErrorCode = "port";
    FReport.ErrorReason = PortProblemCode(AProblem);
    FReport.ErrorText = "cannot open " + FReport.Port + ": " + AReason;
    FDetail = std::string("cannot open (") + ProblemWords(AProblem) + "): " + AReason;
    EndAt(TPortSearchEnd::peCannotOpen);
}

void TPortSearch::EndAt(TPortSearchEnd AEnd) {
    if (AEnd == TPortSearchEnd::peNotFound)
        for (const std::string& LLine : MostBytesLines(FReport.Trials))
            FForm->Memo1->Append(Utf8ToUnicode(LLine));
    FEnd = AEnd;
    FPhase = TPhase::phDone;
    const bool LError = AEnd == TPortSearchEnd::peCannotOpen || AEnd == TPortSearchEnd::peLost;
    Log(LError, (FReport.Port.empty() ? std::string("search") : FReport.Port) + ": " + Summary());
}

int64_t TPortSearch::WeightCount() const {
    return FExtended->Client() ? FExtended->WeightCount() : FForm->SuccessReadCount();
}

std::string TPortSearch::Summary() const {
    switch (FEnd) {
    case TPortSearchEnd::peNone:
        return "searching";
    case TPortSearchEnd::peFound: {
        const TTrialRecord& LWin = FReport.Trials[*FReport.Found];
        return "found " + TrialText(LWin) + " (trial " + std::to_string(*FReport.Found + 1) + ", " +
               std::to_string(LWin.Weights) + " weights)";
    }
    case TPortSearchEnd::peNotFound:
        return "none found (" + std::to_string(FReport.Trials.size()) + " trials)";
    case TPortSearchEnd::peStopped:
        return "interrupted";
    case TPortSearchEnd::peCannotOpen:
    case TPortSearchEnd::peLost:
        return FDetail;
    default:
        return FReport.ErrorText;
    }
}

void RunPortSearches(const std::vector<TPortSearch*>& ASearches,
                     const std::function<bool()>& AStop) {
    TMessageLoop* LLoop = TMessageLoop::Current();
    const auto LPending = [&] {
        return AStop() || std::any_of(ASearches.begin(), ASearches.end(),
                                      [](const TPortSearch* A) { return A->Pending(); });
    };
    for (;;) {
        if (AStop()) {
            for (TPortSearch* LSearch : ASearches)
                LSearch->Stop();
            return;
        }
        for (TPortSearch* LSearch : ASearches)
            LSearch->Step();
        if (std::all_of(ASearches.begin(), ASearches.end(),
                        [](const TPortSearch* A) { return A->Done(); }))
            return;
        LLoop->RunUntil(LPending, CPumpSliceMs);
    }
}
