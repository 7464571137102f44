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
