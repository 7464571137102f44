// The debug message channel, sending side: the debugger, the message record
// and the channel interface.
#pragma once

#include "platform/Object.h"
#include "platform/Text.h"

#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

static_assert(std::endian::native == std::endian::little, "TMsgDesc is little-endian");

enum TMsgType : uint32_t {
    cmtInformation,
    cmtWarning,
    cmtError,
    cmtSeparator,
    cmtEnterProc,
    cmtLeaveProc,
    cmtTimeMarkStart,
    cmtTimeMarkStop,
    cmtMemoryDump,
    cmtException,
    cmtObject,
    cmtComponent,
    cmtCustom,
    cmtSystem,
    cmtUDPMsg,
    cmtWatch,
    cmtClearWatch
};

enum TTimeStampType : uint32_t { ttNone, ttDateTime, ttTickCount, ttCPUPeriod };

inline constexpr int CMaxMsgTextLen = 4096;
inline constexpr int CMsgHeaderLen = 52;

#pragma pack(push, 1)
struct TMsgAnnex {
    int32_t Level;
    int32_t Indent;
    uint32_t ProcessId;
    uint32_t ThreadId;
    char Tag[8];
    uint32_t MsgType;
    int64_t MsgCPInterval;
    uint32_t TimeStampType;
    union {
        double MsgDateTime;
        uint32_t MsgTickCount;
        int64_t MsgCPUPeriod;
    };
};

struct TMsgDesc {
    int32_t Length; // 52 plus the text length
    TMsgAnnex Annex;
    char Msg[CMaxMsgTextLen];
};
#pragma pack(pop)

static_assert(offsetof(TMsgDesc, Annex) == 4);
static_assert(offsetof(TMsgDesc, Msg) == CMsgHeaderLen);
static_assert(sizeof(TMsgDesc) == CMsgHeaderLen + CMaxMsgTextLen);

// Unit-wide settings.
inline constexpr const char* DebugMagicName = "WBDEBUG";
inline constexpr int32_t CurrentLevel = 3;
inline constexpr char16_t CurrentTag[] = u"";
inline constexpr TMsgType CurrentMsgType = cmtInformation;
inline constexpr TTimeStampType TimeStampType = ttDateTime;
inline constexpr bool FUseLocalSession = true;

class TDebugFilter : public TObject {
    SP_CLASS(TDebugFilter, TObject)
public:
    int32_t FLevel = CurrentLevel;
    AnsiString FTag;        // empty passes any tag
    uint32_t FMsgTypes = 0; // bit n lets type n pass; empty passes any type
    bool FEnabled = false;
};

// The channel interface. The base class drops every record.
class TDebugChannel : public TObject {
    SP_CLASS(TDebugChannel, TObject)
public:
    explicit TDebugChannel(bool IsAutoFlush) : FAutoFlush(IsAutoFlush), FActive(true) {}
    ~TDebugChannel() override = default;

    virtual void SetActive(bool AValue) { FActive = AValue; }
    virtual bool CheckReady() { return false; }
    virtual void UpdateFlush() {}
    virtual void StartDebugViewer() {}
    virtual bool CheckFilterChanged() { return false; }
    virtual void RefreshFilter(TDebugFilter& /*Filter*/) {}
    // Delivers one record of ASize bytes; never raises.
    virtual void SendContent(const TMsgDesc& /*MsgDesc*/, int32_t /*ASize*/) {}

    bool Active() const { return FActive; }
    bool AutoFlush() const { return FAutoFlush; }

protected:
    bool FAutoFlush;
    bool FActive;
};

// DebugChannelClass: what each new debugger constructs its channel with.
using TDebugChannelClass = std::function<std::unique_ptr<TDebugChannel>(bool IsAutoFlush)>;
void SetDebugChannelClass(TDebugChannelClass AClass);
TDebugChannelClass GetDebugChannelClass();

// The process's debugger: sends short texts to the external viewer through its
// channel. Every operation runs on the caller's thread and never reports a
// failure to it.
class TDebugger : public TObject {
    SP_CLASS(TDebugger, TObject)
public:
    TDebugger();
    ~TDebugger() override;
    TDebugger(const TDebugger&) = delete;
    TDebugger& operator=(const TDebugger&) = delete;

    void LogMsg(const UnicodeString& AMsg);
    void LogMsgWarning(const UnicodeString& AMsg);
    void LogMsgError(const UnicodeString& AMsg);
    // Nothing when E is null.
    void LogException(const Exception* E, const UnicodeString& AMsg);
    // "Object: $<address>", then the class name and the class hierarchy.
    void LogObjectWithTag(const TObject* AObject, const UnicodeString& ATag);

    // The unit's start-up pass: runs with the channel inactive and the viewer
    // ignored, then resets both counters and reactivates the channel.
    void Calibrate();

    // Sending is enabled: active, with a channel that is active.
    bool CheckEnabled() const;
    // The filter lets a message through.
    bool CheckFiltered(const AnsiString& ATag, int32_t ALevel, TMsgType AType) const;

    int32_t PostedMessageCount() const { return FPostedMessageCount.load(); }
    int32_t MessageCount() const { return FMessageCount.load(); }
    TDebugChannel* Channel() const { return FChannel.get(); }
    bool ViewerAutoStartCalled() const;

private:
    void LogFull(const UnicodeString& AMsg, const UnicodeString& ATag, int32_t ALevel,
                 TMsgType AType, int64_t CPUPeriod);
    void InternalOutputMsg(const AnsiString& AMsg, const AnsiString& ATag, int32_t ALevel,
                           int32_t AIndent, TMsgType AType, uint32_t AThreadId, int64_t CPUPeriod);
    void OutputPieces(const AnsiString& AMsg, const AnsiString& ATag, int32_t ALevel,
                      int32_t AIndent, TMsgType AType, uint32_t AThreadId, int64_t CPUPeriod);
    void InternalOutput(const TMsgDesc& AMsgDesc, int32_t ASize);
    int32_t ThreadIndent(uint32_t AThreadId);
    void CreateChannel();

    std::atomic<bool> FActive{false};
    std::vector<uint32_t> FThrdIDList;
    std::vector<int32_t> FIndentList;
    mutable std::mutex FCSThrdId;
    TDebugFilter FFilter;
    std::unique_ptr<TDebugChannel> FChannel;
    // Serialises the channel and the filter between threads that send at once.
    std::mutex FCSOutput;
    bool FAutoStart = true;
    bool FViewerAutoStartCalled = false; // under the unit's start lock
    std::atomic<bool> FIgnoreViewer{false};
    std::atomic<int32_t> FPostedMessageCount{0};
    std::atomic<int32_t> FMessageCount{0};
};

// The one debugger of the process, created on demand.
TDebugger* Debugger();

// Unit start-up: creates the debugger and runs its calibration pass.
void InitDebuggerUnit();
// Unit shut-down: clears the global, then frees the debugger and its channel.
void FinalizeDebuggerUnit();
