// A viewer's header is not trusted: whatever it holds, the sender writes only
// inside the queue area that a sound header describes, and never crashes.
#include "logging/UnitMapFileChannel.h"
#include "tests/support/MapFileObjects.h"

#include <gtest/gtest.h>

#include <random>

namespace {
constexpr size_t CMapped = 8192;
constexpr uint32_t CSoundMapSize = 8000;
constexpr int32_t CSoundOffset = 64;

const uint32_t CHostileValues[] = {
    0,    1,     3,          4,          51,         52,         53,         63,        64,   100,
    4147, 4148,  4149,       7935,       7936,       7999,       8000,       8001,      8191, 8192,
    8193, 65536, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0xFFFFFFFC, 0xFFFFEC00, 0x7F3D92E0};

const size_t CHeaderWords[] = {0,
                               4,
                               MapField::MapEnabled,
                               MapField::MapSize,
                               MapField::DataOffset,
                               MapField::QueueFront,
                               MapField::QueueTail,
                               MapField::NeedRefresh,
                               MapField::FilterEnabled,
                               MapField::FilterLevel,
                               MapField::FilterTag,
                               MapField::FilterTag + 4,
                               MapField::FilterMsgTypes};

class HostileHeaderTest : public ::testing::Test {
protected:
    void SetUp() override {
        UseOwnObjectNames("hostile");
        FMapping = std::make_unique<TTestMapping>(CMapped, CSoundMapSize, CSoundOffset);
    }
    void TearDown() override { FMapping.reset(); }

    void SoundHeader() { FMapping->SoundHeader(CSoundMapSize, CSoundOffset); }
    TArea AreaOfHeader() const { return ::AreaOfHeader(FMapping->Map(), CMapped); }

    // Sends records of several sizes and checks that only the area and the
    // queue positions changed.
    void SendAndCheck(TMapFileChannel& AChannel, TArea AArea, const std::string& ACase) {
        std::vector<uint8_t> LBefore(FMapping->Map(), FMapping->Map() + CMapped);
        const int32_t LQueue = static_cast<int32_t>(AArea.End - AArea.Begin);
        const bool LPositionsValid =
            ValidQueuePos(FMapping->Front(), LQueue) && ValidQueuePos(FMapping->Tail(), LQueue);
        for (const int32_t LText : {0, 1, 100, 3000, CMaxMsgTextLen}) {
            if (!AChannel.CheckReady())
                continue;
            const TMsgDesc LDesc = MakeRecord(LText, 'h');
            AChannel.SendContent(LDesc, LDesc.Length);
        }
        const uint8_t* LAfter = FMapping->Map();
        for (size_t I = 0; I < CMapped; ++I) {
            if (LAfter[I] == LBefore[I] || (I >= AArea.Begin && I < AArea.End))
                continue;
            if (I >= MapField::QueueFront && I < MapField::NeedRefresh + 4)
                continue;
            FAIL() << ACase << ": byte " << I << " written outside the queue area";
        }
        // Positions that were sound stay sound; broken ones are left alone.
        if (AChannel.Connected() && LPositionsValid) {
            EXPECT_TRUE(ValidQueuePos(FMapping->Front(), LQueue)) << ACase;
            EXPECT_TRUE(ValidQueuePos(FMapping->Tail(), LQueue)) << ACase;
        }
    }

    std::unique_ptr<TTestMapping> FMapping;
};

TEST_F(HostileHeaderTest, EveryFieldWithEveryHostileValue) {
    const TArea LSoundArea{CSoundOffset, CSoundMapSize, true};
    for (const size_t LField : CHeaderWords) {
        for (const uint32_t LValue : CHostileValues) {
            const std::string LCase =
                "field " + std::to_string(LField) + " = " + std::to_string(LValue);
            // Found that way by a sender that connects now.
            SoundHeader();
            FMapping->Set(LField, LValue);
            {
                TMapFileChannel LFresh(false);
                SendAndCheck(LFresh, AreaOfHeader(), LCase + " (fresh)");
            }
            // Changed under a sender that is connected already.
            SoundHeader();
            TMapFileChannel LConnected(false);
            ASSERT_TRUE(LConnected.CheckReady());
            FMapping->Set(LField, LValue);
            SendAndCheck(LConnected, LSoundArea, LCase + " (connected)");
        }
    }
}

TEST_F(HostileHeaderTest, SizesLargerThanTheMappingAreNoViewer) {
    for (const uint32_t LMapSize : {8193u, 16384u, 1u << 30, 0xFFFFFFFFu}) {
        SoundHeader();
        FMapping->Set(MapField::MapSize, LMapSize);
        TMapFileChannel LChannel(false);
        EXPECT_FALSE(LChannel.CheckReady()) << LMapSize;
        EXPECT_FALSE(LChannel.Connected()) << LMapSize;
    }
}

TEST_F(HostileHeaderTest, RandomHeadersAndQueueContents) {
    std::mt19937 LRandom(20261209);
    auto LPick = [&] {
        switch (LRandom() % 3) {
        case 0:
            return CHostileValues[LRandom() % std::size(CHostileValues)];
        case 1:
            return static_cast<uint32_t>(LRandom() % CMapped);
        default:
            return static_cast<uint32_t>(LRandom());
        }
    };
    for (int I = 0; I < 3000; ++I) {
        SoundHeader();
        TMapFileChannel LConnected(false);
        ASSERT_TRUE(LConnected.CheckReady());
        // Garbage in the queue, and positions and other fields at random.
        for (int J = 0; J < 16; ++J) {
            const uint32_t LWord = LRandom();
            std::memcpy(FMapping->Map() + CSoundOffset + LRandom() % (CSoundMapSize - 68), &LWord,
                        4);
        }
        for (const size_t LField : CHeaderWords)
            if (LRandom() % 3 == 0)
                FMapping->Set(LField, LPick());
        if (LRandom() % 2)
            FMapping->SetQueue(static_cast<int32_t>(LRandom() % 8000),
                               static_cast<int32_t>(LRandom() % 8000));
        SendAndCheck(LConnected, {CSoundOffset, CSoundMapSize}, "round " + std::to_string(I));
        TMapFileChannel LFresh(false);
        SendAndCheck(LFresh, AreaOfHeader(), "fresh round " + std::to_string(I));
        if (HasFailure())
            return;
    }
}

TEST_F(HostileHeaderTest, MappingSmallerThanAHeader) {
    FMapping.reset();
    for (const size_t LSize : {1u, 51u, 52u, 60u}) {
        UseOwnObjectNames("tiny");
        int LError = 0;
        auto LMutex = CreateNamedMutex(CQueueMutexName, LError);
        auto LEvent = CreateNamedEvent(CQueueEventName, LError);
        auto LMemory = CreateSharedMemory(CMapName, LSize, LError);
        ASSERT_TRUE(LMemory);
        auto LView = LMemory->MapView(LError);
        std::memcpy(LView->Data(), DebugMagicName, std::min<size_t>(LSize, 8));
        if (LSize >= 12)
            StoreHeaderU32(LView->Data(), MapField::MapEnabled, CMapEnabledValue);
        TMapFileChannel LChannel(false);
        EXPECT_FALSE(LChannel.CheckReady()) << LSize;
        LChannel.SendContent(MakeRecord(10), CMsgHeaderLen + 10);
        RemoveAllObjects();
    }
}
} // namespace
