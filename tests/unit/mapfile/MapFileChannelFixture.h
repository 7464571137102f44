// The channel's test fixture: a viewer's mapping laid out by the test and a
// channel connected to it.
#pragma once

#include "logging/UnitMapFileChannel.h"
#include "tests/support/LogCapture.h"
#include "tests/support/MapFileObjects.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

constexpr int32_t CQueue = 1000;
constexpr int32_t COffset = 64;

class MapFileChannelTest : public ::testing::Test {
protected:
    void SetUp() override { UseOwnObjectNames("chan"); }
    void TearDown() override { RemoveAllObjects(); }

    // A viewer's mapping with a queue area of AQueue bytes, and a channel on it.
    void Connect(int32_t AQueue = CQueue) {
        FMapping = std::make_unique<TTestMapping>(8192, COffset + AQueue, COffset);
        FChannel = std::make_unique<TMapFileChannel>(false);
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

    std::unique_ptr<TTestMapping> FMapping;
    std::unique_ptr<TMapFileChannel> FChannel;
};
