// A debug channel for tests: keeps every record it is handed, byte for byte.
#pragma once

#include "logging/UnitDebugger.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

struct TRecord {
    std::vector<unsigned char> Bytes;

    template <class V> V At(size_t AOffset) const {
        V LValue{};
        std::memcpy(&LValue, Bytes.data() + AOffset, sizeof LValue);
        return LValue;
    }
    int32_t Length() const { return At<int32_t>(0); }
    int32_t Level() const { return At<int32_t>(4); }
    int32_t Indent() const { return At<int32_t>(8); }
    uint32_t ProcessId() const { return At<uint32_t>(12); }
    uint32_t ThreadId() const { return At<uint32_t>(16); }
    std::string Tag() const { return std::string(Bytes.begin() + 20, Bytes.begin() + 28); }
    uint32_t MsgType() const { return At<uint32_t>(28); }
    int64_t CPInterval() const { return At<int64_t>(32); }
    uint32_t TimeStampType() const { return At<uint32_t>(40); }
    double DateTime() const { return At<double>(44); }
    std::string Text() const { return std::string(Bytes.begin() + 52, Bytes.end()); }
};

class TRecordingChannel : public TDebugChannel {
    SP_CLASS(TRecordingChannel, TDebugChannel)
public:
    using TDebugChannel::TDebugChannel;

    // The channel the last debugger made (tests make one debugger at a time).
    static inline std::atomic<TRecordingChannel*> Last{nullptr};

    static void Install() {
        SetDebugChannelClass([](bool IsAutoFlush) {
            auto LChannel = std::make_unique<TRecordingChannel>(IsAutoFlush);
            Last = LChannel.get();
            return std::unique_ptr<TDebugChannel>(std::move(LChannel));
        });
    }

    ~TRecordingChannel() override {
        TRecordingChannel* LSelf = this;
        Last.compare_exchange_strong(LSelf, nullptr);
    }

    bool CheckReady() override { return FReady; }
    void StartDebugViewer() override { ++FViewerStarts; }
    bool CheckFilterChanged() override { return FFilterChanged.exchange(false); }
    void RefreshFilter(TDebugFilter& AFilter) override {
        std::lock_guard<std::mutex> L(FLock);
        AFilter.FEnabled = FViewerFilter.FEnabled;
        AFilter.FLevel = FViewerFilter.FLevel;
        AFilter.FTag = FViewerFilter.FTag;
        AFilter.FMsgTypes = FViewerFilter.FMsgTypes;
    }
    void SendContent(const TMsgDesc& AMsgDesc, int32_t ASize) override {
        const auto* LBytes = reinterpret_cast<const unsigned char*>(&AMsgDesc);
        std::lock_guard<std::mutex> L(FLock);
        FRecords.push_back(TRecord{{LBytes, LBytes + ASize}});
    }

    // What the viewer would publish.
    void PublishFilter(bool AEnabled, int32_t ALevel, AnsiString ATag = {}, uint32_t ATypes = 0) {
        {
            std::lock_guard<std::mutex> L(FLock);
            FViewerFilter.FEnabled = AEnabled;
            FViewerFilter.FLevel = ALevel;
            FViewerFilter.FTag = std::move(ATag);
            FViewerFilter.FMsgTypes = ATypes;
        }
        FFilterChanged = true;
    }

    std::vector<TRecord> Records() const {
        std::lock_guard<std::mutex> L(FLock);
        return FRecords;
    }

    std::atomic<bool> FReady{true};
    std::atomic<int> FViewerStarts{0};

private:
    mutable std::mutex FLock;
    std::vector<TRecord> FRecords;
    TDebugFilter FViewerFilter;
    std::atomic<bool> FFilterChanged{false};
};

// Gives each test a fresh debugger on a recording channel.
struct TRecordingDebugger {
    TRecordingDebugger() {
        FinalizeDebuggerUnit();
        TRecordingChannel::Install();
        InitDebuggerUnit();
    }
    ~TRecordingDebugger() {
        FinalizeDebuggerUnit();
        SetDebugChannelClass(nullptr);
    }
    TRecordingChannel& Channel() const { return *TRecordingChannel::Last.load(); }
};
