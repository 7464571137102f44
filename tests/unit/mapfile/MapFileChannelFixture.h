// The channel's test fixture: a viewer's mapping laid out by the test and a
// channel connected to it.
#pragma once

#include "logging/UnitMapFileChannel.h"
#include "tests/support/LogCapture.h"
#include "tests/support/MapFileObjects.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <ostream>
#include <vector>

constexpr int32_t CQueue = 1000;
constexpr int32_t COffset = 64;

// One wait for the queue mutex: the time-out asked and what came of it.
struct TMutexWait {
    uint32_t TimeoutMs;
    TNamedWaitResult Result;
    bool operator==(const TMutexWait&) const = default;
    friend void PrintTo(const TMutexWait& AWait, std::ostream* AOut) {
        *AOut << "{" << AWait.TimeoutMs << " ms, result " << static_cast<int>(AWait.Result) << "}";
    }
};

// The platform's mutex, each wait noted.
class TNotedMutex : public TNamedMutex {
public:
    TNotedMutex(std::unique_ptr<TNamedMutex> AMutex, std::vector<TMutexWait>& AWaits)
        : FMutex(std::move(AMutex)), FWaits(AWaits) {}
    TNamedWaitResult WaitFor(uint32_t ATimeoutMs) override {
        const TNamedWaitResult LResult = FMutex->WaitFor(ATimeoutMs);
        FWaits.push_back({ATimeoutMs, LResult});
        return LResult;
    }
    bool Release() override { return FMutex->Release(); }

private:
    std::unique_ptr<TNamedMutex> FMutex;
    std::vector<TMutexWait>& FWaits;
};

class TWaitNotingChannel : public TMapFileChannel {
public:
    using TMapFileChannel::TMapFileChannel;
    std::vector<TMutexWait> Waits;

protected:
    std::unique_ptr<TNamedMutex> OpenQueueMutex(int& AError) override {
        auto LMutex = TMapFileChannel::OpenQueueMutex(AError);
        return LMutex ? std::make_unique<TNotedMutex>(std::move(LMutex), Waits) : nullptr;
    }
};

class MapFileChannelTest : public ::testing::Test {
protected:
    void SetUp() override { UseOwnObjectNames("chan"); }
    void TearDown() override { RemoveAllObjects(); }

    // A viewer's mapping with a queue area of AQueue bytes, and a channel on it.
    void Connect(int32_t AQueue = CQueue) {
        FMapping = std::make_unique<TTestMapping>(8192, COffset + AQueue, COffset);
        FChannel = std::make_unique<TWaitNotingChannel>(false);
        ASSERT_TRUE(FChannel->CheckReady());
    }

    void Send(const TMsgDesc& ADesc) { FChannel->SendContent(ADesc, ADesc.Length); }

    // The record at APos of the queue, read across the end of the area.
    TMsgDesc ReadAt(int32_t APos, int32_t AQueue = CQueue) const {
        TMsgDesc LDesc{};
        RingRead(FMapping->Queue(), AQueue, APos, &LDesc, 4);
        RingRead(FMapping->Queue(), AQueue, APos, &LDesc, LDesc.Length);
        return LDesc;
    }

    static bool SameRecord(const TMsgDesc& A, const TMsgDesc& B) {
        return A.Length == B.Length && std::memcmp(&A, &B, static_cast<size_t>(A.Length)) == 0;
    }

    // With the mutex held elsewhere until ARelease: one record waits out the
    // time-out, the next ones only try, and once the mutex is free the first
    // that gets it at once brings back the full wait.
    void CheckStuckMutexCostsOneWait(const std::function<void()>& ARelease) {
        using enum TNamedWaitResult;
        const TMsgDesc LDesc = MakeRecord(10);
        for (int I = 0; I < 4; ++I)
            Send(LDesc);
        EXPECT_EQ(FMapping->Tail(), 0);
        EXPECT_TRUE(FChannel->Connected());
        ARelease();
        Send(LDesc);
        Send(LDesc);
        EXPECT_EQ(FMapping->Tail(), 2 * LDesc.Length);
        EXPECT_EQ(FChannel->Waits, (std::vector<TMutexWait>{{1000, nwTimeout},
                                                            {0, nwTimeout},
                                                            {0, nwTimeout},
                                                            {0, nwTimeout},
                                                            {0, nwSignaled},
                                                            {1000, nwSignaled}}));
    }

    std::unique_ptr<TTestMapping> FMapping;
    std::unique_ptr<TWaitNotingChannel> FChannel;
};
