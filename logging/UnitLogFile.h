// The daily log: callers on any thread hand it lines; one worker thread
// appends each line to log/YYYY-MM/YYYYMMDD.log beside the executable (or in
// the user's state folder where that cannot be written, platform/ProgramDirs.h).
#pragma once

#include "logging/BlockingQueue.h"
#include "logging/UnitWorkThread.h"
#include "platform/DateTime.h"
#include "platform/Events.h"
#include "platform/Object.h"
#include "platform/Text.h"

#include <cstdint>
#include <filesystem>
#include <memory>

// One queued line, complete as it goes into the file. An empty msg is never
// written.
struct TSaveLogInfo {
    TDateTime time = 0;
    UnicodeString msg;
};

inline constexpr char16_t CStartBanner[] =
    u"-------------------------- 启动软件 --------------------------------------------";
inline constexpr char16_t CExitBanner[] =
    u"-------------------------- 退出软件 --------------------------------------------";

// Told that lines are being lost, and why (the text of the report on the
// OS debug output): on the thread that writes, for the first line lost after
// one that went in, and for the first line if it is lost.
using TLogWriteFailedEvent = TEvent<void(const UnicodeString& AReason)>;

class TLogFile : public TObject {
    SP_CLASS(TLogFile, TObject)
public:
    // ABaseDir holds the log folder; empty means the program's own (LogBaseDir).
    // Writes the start banner. The callers of the log operations never hear
    // of a failure; AOnWriteFailed does.
    explicit TLogFile(std::filesystem::path ABaseDir = {},
                      TLogWriteFailedEvent AOnWriteFailed = {});
    // Stops the worker, writes the lines still queued, then the exit banner.
    ~TLogFile() override;
    TLogFile(const TLogFile&) = delete;
    TLogFile& operator=(const TLogFile&) = delete;

    // Each may block while ten lines wait to be written; none reports a failure.
    void LogInfo(const UnicodeString& ALogStr);
    void LogWarning(const UnicodeString& ALogStr);
    void LogError(const UnicodeString& ALogStr);
    void LogDebug(const UnicodeString& ALogStr);
    // Nothing when E is null.
    void LogException(const Exception* E, const UnicodeString& AMsg);

    // The file that lines of ADate go to.
    std::filesystem::path FileNameOf(TDateTime ADate) const;
    // How often the worker has called DoWork.
    uint64_t WorkerPasses() const;

private:
    void DoWork();
    void DoFinalWork();
    void AddLog(const UnicodeString& ALine, TDateTime ATime);
    void DoLog(const TSaveLogInfo& ALog);
    // A line could not be written: reports it and tells FOnWriteFailed.
    void LostLine(const UnicodeString& AReason);
    void MakeLine(const char16_t* ALevel, const UnicodeString& ALogStr);

    uint16_t FLastYear = 0;
    uint16_t FlastMonth = 0;
    uint16_t FLastDay = 0;
    bool FFileExists = false;
    // The last line was lost; the writer's, as the fields above.
    bool FWriteFailing = false;
    // Set before the writer starts, read only by it (and by the destroying
    // thread once it has ended).
    const TLogWriteFailedEvent FOnWriteFailed;
    std::unique_ptr<TBlockingQueue<TSaveLogInfo>> FLogQueue;
    std::unique_ptr<TWorkThread> FWorkThread;
    std::filesystem::path FBaseDir;
};

// The one log of the process: set between InitLogFileUnit and
// FinalizeLogFileUnit, null outside them (callers check).
extern TLogFile* GLogFile;

// AOnWriteFailed: see TLogWriteFailedEvent; it must outlive the log.
void InitLogFileUnit(TLogWriteFailedEvent AOnWriteFailed = {});
void FinalizeLogFileUnit();
