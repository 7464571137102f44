#include "logging/UnitDebugger.h"

#include "platform/DateTime.h"
#include "platform/System.h"

#include <algorithm>
#include <cstring>
#include <mutex>

namespace {
std::mutex GChannelClassLock;
TDebugChannelClass GDebugChannelClass;
} // namespace

void SetDebugChannelClass(TDebugChannelClass AClass) {
    std::lock_guard<std::mutex> L(GChannelClassLock);
    GDebugChannelClass = std::move(AClass);
}

TDebugChannelClass GetDebugChannelClass() {
    std::lock_guard<std::mutex> L(GChannelClassLock);
    if (!GDebugChannelClass)
        return [](bool IsAutoFlush) { return std::make_unique<TDebugChannel>(IsAutoFlush); };
    return GDebugChannelClass;
}

namespace {

std::mutex FDebuggerCriticalSection; // creation of the debugger
std::mutex FStartCriticalSection;    // the one-time viewer start
std::atomic<TDebugger*> FDebugger{nullptr};
std::unique_ptr<TDebugger> GDebuggerOwner;

char AsciiLower(char C) {
    return C >= 'A' && C <= 'Z' ? static_cast<char>(C - 'A' + 'a') : C;
}

bool SameAnsiText(const AnsiString& A, const AnsiString& B) {
    if (A.size() != B.size())
        return false;
    for (size_t I = 0; I < A.size(); ++I)
        if (AsciiLower(A[I]) != AsciiLower(B[I]))
            return false;
    return true;
}

UnicodeString HexAddress(const void* APointer) {
    static const char16_t CDigits[] = u"0123456789ABCDEF";
    auto LValue = reinterpret_cast<uintptr_t>(APointer);
    UnicodeString LResult(sizeof(uintptr_t) * 2, u'0');
    for (size_t I = LResult.size(); I-- > 0; LValue >>= 4)
        LResult[I] = CDigits[LValue & 0xF];
    return LResult;
}

} // namespace

TDebugger::TDebugger() {
    FFilter.FLevel = CurrentLevel;
    CreateChannel();
    FActive = true;
}

TDebugger::~TDebugger() {
    auto LChannel = std::move(FChannel);
    LChannel.reset();
}

void TDebugger::CreateChannel() {
    try {
        FChannel = GetDebugChannelClass()(true);
    } catch (...) {
        FChannel.reset(); // no channel: nothing is sent
    }
}

void TDebugger::LogMsg(const UnicodeString& AMsg) {
    LogFull(AMsg, CurrentTag, CurrentLevel, cmtInformation, 0);
}

void TDebugger::LogMsgWarning(const UnicodeString& AMsg) {
    LogFull(AMsg, CurrentTag, CurrentLevel, cmtWarning, 0);
}

void TDebugger::LogMsgError(const UnicodeString& AMsg) {
    LogFull(AMsg, CurrentTag, CurrentLevel, cmtError, 0);
}

void TDebugger::LogException(const Exception* E, const UnicodeString& AMsg) {
    if (!E)
        return;
    const UnicodeString LText =
        Format(u"%s %s - %s",
               {AMsg.empty() ? UnicodeString(u"Exception:") : AMsg, E->ClassName(), E->Message()});
    LogFull(LText, CurrentTag, CurrentLevel, cmtInformation, 0);
}

void TDebugger::LogObjectWithTag(const TObject* AObject, const UnicodeString& ATag) {
    UnicodeString LText = u"Object: $" + HexAddress(AObject) + u"\r\n";
    if (AObject) {
        LText += u"Class:" + AObject->ClassName() + u"\r\n";
        LText += u"Hierarchy:";
        const std::vector<UnicodeString> LNames = AObject->ClassHierarchy();
        for (size_t I = 0; I < LNames.size(); ++I)
            LText += (I ? u" <- " : u"") + LNames[I];
        LText += u"\r\n";
    }
    LogFull(LText, ATag, CurrentLevel, cmtObject, 0);
}

void TDebugger::Calibrate() {
    FIgnoreViewer = true;
    if (FChannel)
        FChannel->SetActive(false);
    // There is no time-mark feature to calibrate: the pass sends nothing.
    FIgnoreViewer = false;
    FPostedMessageCount = 0;
    FMessageCount = 0;
    if (FChannel)
        FChannel->SetActive(true);
}

bool TDebugger::CheckEnabled() const {
    return FActive && FChannel && FChannel->Active();
}

bool TDebugger::CheckFiltered(const AnsiString& ATag, int32_t ALevel, TMsgType AType) const {
    if (!FFilter.FEnabled)
        return true;
    if (ALevel > FFilter.FLevel)
        return false;
    if (FFilter.FMsgTypes != 0 && (AType >= 32 || !(FFilter.FMsgTypes & (1u << AType))))
        return false;
    return FFilter.FTag.empty() || (ATag.size() <= 8 && SameAnsiText(ATag, FFilter.FTag));
}

bool TDebugger::ViewerAutoStartCalled() const {
    std::lock_guard<std::mutex> L(FStartCriticalSection);
    return FViewerAutoStartCalled;
}

int32_t TDebugger::ThreadIndent(uint32_t AThreadId) {
    std::lock_guard<std::mutex> L(FCSThrdId);
    for (size_t I = 0; I < FThrdIDList.size(); ++I)
        if (FThrdIDList[I] == AThreadId)
            return FIndentList[I];
    FThrdIDList.push_back(AThreadId);
    FIndentList.push_back(0);
    return 0;
}

void TDebugger::LogFull(const UnicodeString& AMsg, const UnicodeString& ATag, int32_t ALevel,
                        TMsgType AType, int64_t CPUPeriod) {
    if (AMsg.empty())
        return;
    // Asked of the system once per thread.
    thread_local const uint32_t LThreadId = GetCurrentThreadId();
    const AnsiString LMsg = UnicodeToAnsi(AMsg);
    const AnsiString LTag = UnicodeToAnsi(ATag);
    const int32_t LIndent = ThreadIndent(LThreadId);
    InternalOutputMsg(LMsg, LTag, ALevel, LIndent, AType, LThreadId, CPUPeriod);
}

void TDebugger::InternalOutputMsg(const AnsiString& AMsg, const AnsiString& ATag, int32_t ALevel,
                                  int32_t AIndent, TMsgType AType, uint32_t AThreadId,
                                  int64_t CPUPeriod) {
    {
        std::lock_guard<std::mutex> L(FStartCriticalSection);
        if (FAutoStart && !FIgnoreViewer && !FViewerAutoStartCalled) {
            if (FChannel)
                FChannel->StartDebugViewer();
            FViewerAutoStartCalled = true;
        }
    }
    ++FMessageCount;
    {
        std::lock_guard<std::mutex> L(FCSOutput);
        if (CheckEnabled() && FChannel->CheckReady()) {
            OutputPieces(AMsg, ATag, ALevel, AIndent, AType, AThreadId, CPUPeriod);
            return;
        }
    }
    YieldThread(); // not enabled or not ready: the message is dropped
}

// Cuts the text into records of at most CMaxMsgTextLen bytes; under FCSOutput.
void TDebugger::OutputPieces(const AnsiString& AMsg, const AnsiString& ATag, int32_t ALevel,
                             int32_t AIndent, TMsgType AType, uint32_t AThreadId,
                             int64_t CPUPeriod) {
    TMsgDesc LDesc;
    size_t LOffset = 0;
    bool LFirst = true;
    do {
        const size_t LLen = std::min<size_t>(AMsg.size() - LOffset, CMaxMsgTextLen);
        std::memset(&LDesc, 0, CMsgHeaderLen);
        LDesc.Annex.Level = ALevel;
        LDesc.Annex.Indent = AIndent;
        LDesc.Annex.ProcessId = GetCurrentProcessId();
        LDesc.Annex.ThreadId = AThreadId;
        LDesc.Annex.MsgType = AType;
        LDesc.Annex.MsgCPInterval = CPUPeriod;
        LDesc.Annex.TimeStampType = TimeStampType;
        LDesc.Annex.MsgDateTime = Now();
        std::memcpy(LDesc.Annex.Tag, ATag.data(), std::min<size_t>(ATag.size(), 8));
        std::memcpy(LDesc.Msg, AMsg.data() + LOffset, LLen);
        LDesc.Length = static_cast<int32_t>(CMsgHeaderLen + LLen);
        if (!LFirst)
            ++FMessageCount;
        if (FChannel->CheckFilterChanged())
            FChannel->RefreshFilter(FFilter);
        if (CheckFiltered(ATag, ALevel, AType))
            InternalOutput(LDesc, LDesc.Length);
        LOffset += LLen;
        LFirst = false;
    } while (LOffset < AMsg.size());
}

void TDebugger::InternalOutput(const TMsgDesc& AMsgDesc, int32_t ASize) {
    if (FChannel && FChannel->Active() && FChannel->CheckReady() && ASize > 0) {
        FChannel->SendContent(AMsgDesc, ASize);
        ++FPostedMessageCount;
    }
}

TDebugger* Debugger() {
    TDebugger* LDebugger = FDebugger.load(std::memory_order_acquire);
    if (LDebugger)
        return LDebugger;
    std::lock_guard<std::mutex> L(FDebuggerCriticalSection);
    LDebugger = FDebugger.load(std::memory_order_relaxed);
    if (!LDebugger) {
        GDebuggerOwner = std::make_unique<TDebugger>();
        LDebugger = GDebuggerOwner.get();
        FDebugger.store(LDebugger, std::memory_order_release);
    }
    return LDebugger;
}

void InitDebuggerUnit() {
    Debugger()->Calibrate();
}

void FinalizeDebuggerUnit() {
    std::unique_ptr<TDebugger> LDebugger;
    {
        std::lock_guard<std::mutex> L(FDebuggerCriticalSection);
        FDebugger.store(nullptr, std::memory_order_release);
        LDebugger = std::move(GDebuggerOwner);
    }
    LDebugger.reset();
}
