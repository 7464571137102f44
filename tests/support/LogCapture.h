// What the system logs, caught for a test: the debug channel's records byte
// for byte, GLogFile's lines, and the OS debug output.
#pragma once

#include "ScratchDir.h"
#include "logging/UnitDebugger.h"
#include "logging/UnitLogFile.h"

#include <atomic>
#include <cstring>
#include <filesystem>
#include <memory>
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

// GLogFile for the length of a test, writing into a scratch folder; Lines()
// and Text() end the log and read its files.
class TLogCapture {
public:
    TLogCapture();
    ~TLogCapture() { Stop(); }
    TLogCapture(const TLogCapture&) = delete;
    TLogCapture& operator=(const TLogCapture&) = delete;

    // The scratch folder; the log is in its folder "log".
    const std::filesystem::path& Dir() const { return FDir.Path(); }
    // The texts of the lines of level ALevel ("Debug", "Error"), in order.
    std::vector<UnicodeString> Lines(const UnicodeString& ALevel);
    // Every log file, one after the other, as UTF-16.
    UnicodeString Text();

private:
    void Stop();

    TScratchDir FDir{"sp-log"};
    std::unique_ptr<TLogFile> FLog;
};

// Collects the OS debug output while it lives.
class TDebugOutputCapture {
public:
    TDebugOutputCapture();
    ~TDebugOutputCapture();
    TDebugOutputCapture(const TDebugOutputCapture&) = delete;
    TDebugOutputCapture& operator=(const TDebugOutputCapture&) = delete;

    std::vector<std::string> Lines() const;

private:
    mutable std::mutex FLock;
    std::vector<std::string> FLines;
};
