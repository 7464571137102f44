#include "logging/MapFileViewer.h"
#include "logging/UnitMapFileChannel.h"
#include "platform/DateTime.h"
#include "tests/support/MapFileObjects.h"

#include <gtest/gtest.h>

namespace {
class MapFileViewerTest : public ::testing::Test {
protected:
    void SetUp() override {
        UseOwnObjectNames("viewer");
        std::string LError;
        ASSERT_TRUE(FViewer.Open(LError)) << LError;
    }
    void TearDown() override { FViewer.Close(); }

    TMapFileViewer FViewer{16384};
};

TEST_F(MapFileViewerTest, CreatesAHeaderASenderAccepts) {
    const uint8_t* LMap = FViewer.Map();
    EXPECT_EQ(std::memcmp(LMap, "WBDEBUG\0", 8), 0);
    EXPECT_EQ(LoadHeaderU32(LMap, MapField::MapEnabled), CMapEnabledValue);
    EXPECT_EQ(LoadHeaderU32(LMap, MapField::MapSize), 16384u);
    EXPECT_EQ(LoadHeaderI32(LMap, MapField::DataOffset), CViewerDataOffset);
    EXPECT_EQ(LoadHeaderI32(LMap, MapField::QueueFront), 0);
    EXPECT_EQ(LoadHeaderI32(LMap, MapField::QueueTail), 0);
    EXPECT_EQ(LoadHeaderU32(LMap, MapField::NeedRefresh), 0u);
    EXPECT_EQ(LoadHeaderI32(LMap, MapField::FilterEnabled), 0);

    TMapFileChannel LChannel(false);
    EXPECT_TRUE(LChannel.CheckReady());
}

TEST_F(MapFileViewerTest, DrainsRecordsInOrderAcrossTheEnd) {
    TMapFileChannel LChannel(false);
    ASSERT_TRUE(LChannel.CheckReady());
    const int32_t LQueue = 16384 - CViewerDataOffset;
    // Start three bytes before the end, so the first length is split.
    StoreHeaderI32(FViewer.Map(), MapField::QueueFront, LQueue - 3);
    StoreHeaderI32(FViewer.Map(), MapField::QueueTail, LQueue - 3);
    for (char C = 'a'; C <= 'e'; ++C) {
        TMsgDesc LDesc = MakeRecord(C - 'a' + 1, C);
        LDesc.Annex.ProcessId = 42;
        LChannel.SendContent(LDesc, LDesc.Length);
    }
    EXPECT_TRUE(FViewer.WaitForRecords(0));
    const auto LRecords = FViewer.Drain();
    ASSERT_EQ(LRecords.size(), 5u);
    for (size_t I = 0; I < LRecords.size(); ++I) {
        EXPECT_EQ(LRecords[I].Msg, std::string(I + 1, static_cast<char>('a' + I)));
        EXPECT_EQ(LRecords[I].Annex.ProcessId, 42u);
    }
    EXPECT_TRUE(FViewer.Drain().empty());
    EXPECT_EQ(FViewer.BrokenRecords(), 0);
}

TEST_F(MapFileViewerTest, BrokenLengthOrPositionsEmptyTheQueue) {
    uint8_t* LMap = FViewer.Map();
    const int32_t LBad = 9;
    std::memcpy(LMap + CViewerDataOffset, &LBad, 4);
    StoreHeaderI32(LMap, MapField::QueueTail, 100);
    EXPECT_TRUE(FViewer.Drain().empty());
    EXPECT_EQ(LoadHeaderI32(LMap, MapField::QueueFront), 100);
    StoreHeaderI32(LMap, MapField::QueueTail, -5);
    EXPECT_TRUE(FViewer.Drain().empty());
    EXPECT_EQ(FViewer.BrokenRecords(), 2);
    EXPECT_EQ(LoadHeaderI32(LMap, MapField::QueueTail), 0);
}

TEST_F(MapFileViewerTest, PublishedFilterReachesTheSender) {
    TMapFileChannel LChannel(false);
    ASSERT_TRUE(LChannel.CheckReady());
    FViewer.PublishFilter({true, 2, "TooLongTag", 1u << cmtError});
    ASSERT_TRUE(LChannel.CheckFilterChanged());
    TDebugFilter LFilter;
    LChannel.RefreshFilter(LFilter);
    EXPECT_TRUE(LFilter.FEnabled);
    EXPECT_EQ(LFilter.FLevel, 2);
    EXPECT_EQ(LFilter.FTag, "TooLongT");
    EXPECT_EQ(LFilter.FMsgTypes, 1u << cmtError);

    // The control path of a second viewer process switches it off again.
    ASSERT_TRUE(PublishFilterToRunningViewer(TViewerFilter{}));
    ASSERT_TRUE(LChannel.CheckFilterChanged());
    LChannel.RefreshFilter(LFilter);
    EXPECT_FALSE(LFilter.FEnabled);
}

TEST_F(MapFileViewerTest, CloseWithdrawsAndLeavesNothingBehind) {
    TMapFileChannel LChannel(true);
    ASSERT_TRUE(LChannel.CheckReady());
    TMapFileViewer LSecond(16384);
    std::string LError;
    EXPECT_FALSE(LSecond.Open(LError)); // one viewer per user
    EXPECT_TRUE(FViewer.IsOpen());

    FViewer.Close();
    EXPECT_FALSE(LChannel.CheckReady());
    int LErr = 0;
    EXPECT_FALSE(OpenSharedMemory(CMapName, LErr));
    EXPECT_FALSE(OpenNamedMutex(CQueueMutexName, LErr));
    EXPECT_FALSE(OpenNamedEvent(CQueueEventName, LErr));
    EXPECT_FALSE(OpenNamedEvent(CFlushEventName, LErr));
    EXPECT_FALSE(PublishFilterToRunningViewer(TViewerFilter{}));

    // A new viewer is found by the same sender.
    ASSERT_TRUE(LSecond.Open(LError)) << LError;
    EXPECT_TRUE(LChannel.CheckReady());
}

TEST_F(MapFileViewerTest, ViewerReplacesWhatADeadViewerLeft) {
    if (CNamesHeldByHandles)
        GTEST_SKIP() << "a killed viewer's objects go with its handles; what a sender still "
                        "holds is taken over (NewViewerTakesOverTheMappingASenderHolds)";
    TMapFileChannel LChannel(false);
    ASSERT_TRUE(LChannel.CheckReady());
    // As if the viewer had been killed: objects stay, its pid is gone.
    StoreHeaderU32(FViewer.Map(), CViewerPidOffset, 0x7FFFFFF0);
    TMapFileViewer LNext(16384);
    std::string LError;
    ASSERT_TRUE(LNext.Open(LError)) << LError;
    // The sender lets go of the old mapping and finds the new one.
    EXPECT_FALSE(LChannel.CheckReady());
    EXPECT_TRUE(LChannel.CheckReady());
    const TMsgDesc LDesc = MakeRecord(3, 'n');
    LChannel.SendContent(LDesc, LDesc.Length);
    ASSERT_EQ(LNext.Drain().size(), 1u);
    LNext.Close();
}

TEST_F(MapFileViewerTest, FlushEventStaysWhileAViewerUsesItAndGoesWithTheLastSender) {
    int LError = 0;
    {
        TMapFileChannel LChannel(true);
        ASSERT_TRUE(LChannel.CheckReady());
    }
    // A later sender still gets the viewer's flush signal.
    auto LKept = OpenNamedEvent(CFlushEventName, LError);
    ASSERT_TRUE(LKept);
    LKept.reset();
    {
        TMapFileChannel LChannel(true);
        FViewer.SignalFlush();
        auto LFlush = OpenNamedEvent(CFlushEventName, LError);
        ASSERT_TRUE(LFlush);
        EXPECT_EQ(LFlush->WaitFor(1000), TNamedWaitResult::nwSignaled);
    }

    FViewer.Close();
    {
        TMapFileChannel LChannel(true);
        EXPECT_FALSE(LChannel.CheckReady());
        // Where names go with their last handle, it went with the channel's.
        EXPECT_EQ(OpenNamedEvent(CFlushEventName, LError) != nullptr, !CNamesHeldByHandles);
    }
    EXPECT_FALSE(OpenNamedEvent(CFlushEventName, LError)) << "left behind without a viewer";
}

TEST(MapFileViewerFormat, OneLinePerRecord) {
    TViewerRecord LRecord;
    LRecord.Annex.ProcessId = 1234;
    LRecord.Annex.ThreadId = 5678;
    LRecord.Annex.MsgType = cmtObject;
    std::memcpy(LRecord.Annex.Tag, "Create\0\0", 8);
    LRecord.Annex.TimeStampType = ttDateTime;
    LRecord.Annex.MsgDateTime = EncodeDateTime({2026, 12, 9, 8, 5, 3, 7});
    LRecord.Msg = "Object: $1\r\nClass:TWorkThread\r\n\x01\\";
    EXPECT_EQ(FormatRecordLine(LRecord), "2026-12-09 08:05:03.007\t1234\t5678\tObject\tCreate\t"
                                         "Object: $1\\r\\nClass:TWorkThread\\r\\n\\x01\\\\");

    std::memcpy(LRecord.Annex.Tag, "EIGHTCHR", 8); // no terminator
    LRecord.Annex.MsgType = 99;
    LRecord.Annex.TimeStampType = ttNone;
    LRecord.Msg = "\xE5\x90\xAF";
    EXPECT_EQ(FormatRecordLine(LRecord), "-\t1234\t5678\t99\tEIGHTCHR\t\xE5\x90\xAF");
}

TEST(MapFileViewerFormat, MessageTypeLists) {
    uint32_t LTypes = 0;
    ASSERT_TRUE(ParseMsgTypes("0,Warning,10", LTypes));
    EXPECT_EQ(LTypes, (1u << cmtInformation) | (1u << cmtWarning) | (1u << cmtObject));
    EXPECT_FALSE(ParseMsgTypes("Warning,17", LTypes));
    EXPECT_FALSE(ParseMsgTypes("Bogus", LTypes));
    EXPECT_EQ(MsgTypeName(cmtClearWatch), "ClearWatch");
}
} // namespace
