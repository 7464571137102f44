#include "logging/UnitLogFile.h"

#include "logging/LogFileIo.h"
#include "logging/UnitDebugger.h"
#include "platform/ProgramDirs.h"
#include "platform/System.h"

#include <cerrno>
#include <cstring>
#include <system_error>

namespace fs = std::filesystem;

TLogFile* GLogFile = nullptr;

namespace {

constexpr size_t CQueueDepth = 10;

std::unique_ptr<TLogFile> GLogFileOwner;

std::string Digits(unsigned AValue, int AWidth) {
    std::string LResult(static_cast<size_t>(AWidth), '0');
    for (int I = AWidth - 1; I >= 0; --I, AValue /= 10)
        LResult[static_cast<size_t>(I)] = static_cast<char>('0' + AValue % 10);
    return LResult;
}

[[noreturn]] void RaiseFileError(const char* AWhat, const fs::path& AFileName, int AErrno) {
    UnicodeString LMsg = Utf8ToUnicode(AWhat) + u" \"" + AFileName.u16string() + u"\"";
    if (AErrno)
        LMsg += u": " + Utf8ToUnicode(std::strerror(AErrno));
    throw Exception(LMsg);
}

// Appends a line, making the file when it is missing. A day's file is never
// emptied: another instance may have begun it since this one last looked.
void AppendFile(const fs::path& AFileName, const AnsiString& AMsg) {
    const TLineWrite LResult = WriteWholeLine(AFileName, AMsg + "\r\n");
    if (LResult.Error != 0)
        RaiseFileError(LResult.Opened ? "Cannot write file" : "Cannot open file", AFileName,
                       LResult.Error);
}

} // namespace

TLogFile::TLogFile(fs::path ABaseDir, TLogWriteFailedEvent AOnWriteFailed)
    : FOnWriteFailed(std::move(AOnWriteFailed)),
      FBaseDir(ABaseDir.empty() ? LogBaseDir() : std::move(ABaseDir)) {
    FLogQueue = std::make_unique<TBlockingQueue<TSaveLogInfo>>(CQueueDepth, -1, -1);
    FWorkThread = std::make_unique<TWorkThread>(Bind(this, &TLogFile::DoWork),
                                                Bind(this, &TLogFile::DoFinalWork));
    try {
        LogInfo(CStartBanner);
    } catch (...) {
        FLogQueue->DoShutDown(); // lets the worker end, or its destructor would wait forever
        throw;
    }
}

TLogFile::~TLogFile() {
    FWorkThread->SetOnFinalFun(nullptr);
    FWorkThread->Terminate();
    FLogQueue->DoShutDown();
    FWorkThread->WaitFor();
    auto LThread = std::move(FWorkThread);
    LThread.reset();
    DoFinalWork();
}

void TLogFile::LogInfo(const UnicodeString& ALogStr) {
    MakeLine(u"Info", ALogStr);
    Debugger()->LogMsg(ALogStr);
}

void TLogFile::LogWarning(const UnicodeString& ALogStr) {
    MakeLine(u"Warning", ALogStr);
    Debugger()->LogMsgWarning(ALogStr);
}

void TLogFile::LogError(const UnicodeString& ALogStr) {
    MakeLine(u"Error", ALogStr);
    Debugger()->LogMsgError(ALogStr);
}

void TLogFile::LogDebug(const UnicodeString& ALogStr) {
    MakeLine(u"Debug", ALogStr);
    Debugger()->LogMsg(ALogStr);
}

void TLogFile::LogException(const Exception* E, const UnicodeString& AMsg) {
    if (!E)
        return;
    LogError(Format(u"%s %s - %s", {AMsg.empty() ? UnicodeString(u"Excepiton") : AMsg,
                                    E->ClassName(), E->Message()}));
    Debugger()->LogException(E, AMsg);
}

fs::path TLogFile::FileNameOf(TDateTime ADate) const {
    const TDateTimeParts P = DecodeDateTime(ADate);
    const std::string LYear = Digits(P.Year, 4), LMonth = Digits(P.Month, 2);
    return FBaseDir / "log" / (LYear + "-" + LMonth) / (LYear + LMonth + Digits(P.Day, 2) + ".log");
}

uint64_t TLogFile::WorkerPasses() const {
    return FWorkThread ? FWorkThread->WorkCalls() : 0;
}

void TLogFile::MakeLine(const char16_t* ALevel, const UnicodeString& ALogStr) {
    const TDateTime LNow = Now();
    AddLog(Format(u"[%s][%s]%s", {UnicodeString(ALevel), FormatTimeOfDay(LNow), ALogStr}), LNow);
}

void TLogFile::AddLog(const UnicodeString& ALine, TDateTime ATime) {
    FLogQueue->PushItem(TSaveLogInfo{ATime, ALine});
}

// Takes lines until the queue is shut down and empty, so that a burst is
// written without the worker's pause between lines; with nothing queued the
// worker just waits.
void TLogFile::DoWork() {
    TSaveLogInfo LLog;
    while (FLogQueue->PopItem(LLog) == wrSignaled && !LLog.msg.empty())
        DoLog(LLog);
}

// Writes what is still queued, then the exit banner as the last line.
void TLogFile::DoFinalWork() {
    auto LQueue = std::move(FLogQueue);
    if (LQueue) {
        LQueue->DoShutDown();
        TSaveLogInfo LLog;
        while (LQueue->PopItem(LLog) == wrSignaled && !LLog.msg.empty())
            DoLog(LLog);
        LQueue.reset();
    }
    DoLog(TSaveLogInfo{Now(), CExitBanner});
}

void TLogFile::DoLog(const TSaveLogInfo& ALog) {
    try {
        const TDateTimeParts P = DecodeDateTime(ALog.time);
        const fs::path LFileName = FileNameOf(ALog.time);
        if (!FFileExists || P.Year != FLastYear || P.Month != FlastMonth || P.Day != FLastDay) {
            const fs::path LFolder = LFileName.parent_path();
            std::error_code LError;
            if (!fs::is_directory(LFolder, LError)) {
                fs::create_directories(LFolder, LError);
                if (LError)
                    RaiseFileError("Cannot create folder", LFolder, LError.value());
            }
            FFileExists = false;
        }
        AppendFile(LFileName, UnicodeToAnsi(ALog.msg));
        FFileExists = true;
        FWriteFailing = false;
        FLastYear = P.Year;
        FlastMonth = P.Month;
        FLastDay = P.Day;
        return;
    } catch (const Exception& E) {
        LostLine(E.Message());
    } catch (const std::exception& E) {
        LostLine(Utf8ToUnicode(E.what()));
    } catch (...) {
        LostLine(u"unknown error");
    }
}

void TLogFile::LostLine(const UnicodeString& AReason) {
    OutputDebugStr(u"SaveLogToFile.error: " + AReason);
    // The folder or the file may have gone: the next line asks again.
    FFileExists = false;
    if (!FWriteFailing) {
        FWriteFailing = true;
        FOnWriteFailed(AReason);
    }
}

void InitLogFileUnit(TLogWriteFailedEvent AOnWriteFailed) {
    GLogFileOwner = std::make_unique<TLogFile>(fs::path(), std::move(AOnWriteFailed));
    GLogFile = GLogFileOwner.get();
}

void FinalizeLogFileUnit() {
    GLogFile = nullptr;
    auto LLog = std::move(GLogFileOwner);
    LLog.reset();
}
