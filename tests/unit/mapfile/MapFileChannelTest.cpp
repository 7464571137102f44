#include "MapFileChannelFixture.h"

#include <gtest/gtest.h>

namespace {
TEST_F(MapFileChannelTest, RecordsGoBackToBackAndLeaveTheFrontAlone) {
    Connect();
    const TMsgDesc A = MakeRecord(10, 'a'), B = MakeRecord(20, 'b'), C = MakeRecord(30, 'c');
    Send(A);
    EXPECT_TRUE(FMapping->QueueEventSet());
    Send(B);
    Send(C);
    EXPECT_EQ(FMapping->Front(), 0);
    EXPECT_EQ(FMapping->Tail(), A.Length + B.Length + C.Length);
    EXPECT_TRUE(SameRecord(ReadAt(0), A));
    EXPECT_TRUE(SameRecord(ReadAt(A.Length), B));
    EXPECT_TRUE(SameRecord(ReadAt(A.Length + B.Length), C));
    // Nothing lands in the gap between the header and the queue area.
    for (int32_t I = static_cast<int32_t>(sizeof(TMapHeader)); I < COffset; ++I)
        ASSERT_EQ(FMapping->Map()[I], 0) << I;
}

TEST_F(MapFileChannelTest, RecordPastTheEndIsSplitAtTheEnd) {
    Connect();
    const TMsgDesc LDesc = MakeRecord(48, 's'); // 100 bytes
    FMapping->SetQueue(960, 960);
    Send(LDesc);
    EXPECT_EQ(FMapping->Tail(), 60);
    EXPECT_EQ(FMapping->Front(), 960);
    EXPECT_EQ(std::memcmp(FMapping->Queue() + 960, &LDesc, 40), 0);
    EXPECT_EQ(std::memcmp(FMapping->Queue(), reinterpret_cast<const uint8_t*>(&LDesc) + 40, 60), 0);

    // Ending exactly at the end: the tail wraps to 0.
    FMapping->SetQueue(900, 900);
    Send(LDesc);
    EXPECT_EQ(FMapping->Tail(), 0);
    EXPECT_TRUE(SameRecord(ReadAt(900), LDesc));

    // Fewer than four bytes before the end: even the length is split.
    FMapping->SetQueue(998, 998);
    Send(LDesc);
    EXPECT_EQ(FMapping->Tail(), 98);
    EXPECT_TRUE(SameRecord(ReadAt(998), LDesc));
    // Nothing is written past the queue area.
    EXPECT_EQ(FMapping->Map()[COffset + CQueue], 0);
}

TEST_F(MapFileChannelTest, FullQueueDropsTheOldestRecords) {
    Connect();
    std::vector<TMsgDesc> LSent;
    for (char C = 'a'; C < 'e'; ++C) {
        LSent.push_back(MakeRecord(148, C)); // 200 bytes each
        Send(LSent.back());
    }
    EXPECT_EQ(FMapping->Front(), 0);
    EXPECT_EQ(FMapping->Tail(), 800);

    // 800 + 200 would reach the front at 0: 'a' goes.
    LSent.push_back(MakeRecord(148, 'e'));
    Send(LSent.back());
    EXPECT_EQ(FMapping->Front(), 200);
    EXPECT_EQ(FMapping->Tail(), 0);

    // Behind the front now: 0 + 200 reaches 200, so 'b' goes too.
    LSent.push_back(MakeRecord(148, 'f'));
    Send(LSent.back());
    EXPECT_EQ(FMapping->Front(), 400);
    EXPECT_EQ(FMapping->Tail(), 200);

    // The unread records are c, d, e, f in order.
    int32_t LPos = FMapping->Front();
    for (size_t I = 2; I < LSent.size(); ++I) {
        EXPECT_TRUE(SameRecord(ReadAt(LPos), LSent[I])) << I;
        LPos = (LPos + LSent[I].Length) % CQueue;
    }
    EXPECT_EQ(LPos, FMapping->Tail());

    // A large record drops several at once.
    const TMsgDesc LBig = MakeRecord(548, 'g'); // 600 bytes
    Send(LBig);
    // 200 + 600 reaches c, d and e in turn; behind f at 0 it fits.
    EXPECT_EQ(FMapping->Front(), 0);
    EXPECT_EQ(FMapping->Tail(), 800);
    EXPECT_TRUE(SameRecord(ReadAt(0), LSent[5]));
    EXPECT_TRUE(SameRecord(ReadAt(200), LBig));
}

TEST_F(MapFileChannelTest, RecordTooLargeForTheAreaIsDropped) {
    Connect(500);
    Send(MakeRecord(600)); // 652 bytes
    EXPECT_EQ(FMapping->Tail(), 0);
    EXPECT_FALSE(FMapping->QueueEventSet());
    // As large as the area: the tail would land on the front and the queue
    // would read as empty.
    Send(MakeRecord(500 - CMsgHeaderLen));
    EXPECT_EQ(FMapping->Tail(), 0);
    EXPECT_FALSE(FMapping->QueueEventSet());
    Send(MakeRecord(499 - CMsgHeaderLen));
    EXPECT_EQ(FMapping->Tail(), 499);
    EXPECT_TRUE(FChannel->Connected());
}

TEST_F(MapFileChannelTest, ImpossibleLengthAtTheFrontEmptiesTheQueue) {
    Connect();
    for (const int32_t LBadLength : {7, -1, 2000, 950}) {
        FMapping->SetQueue(0, 900);
        std::memcpy(FMapping->Queue(), &LBadLength, 4);
        const TMsgDesc LDesc = MakeRecord(148); // does not fit behind 900
        Send(LDesc);
        EXPECT_EQ(FMapping->Front(), 900) << LBadLength;
        EXPECT_EQ(FMapping->Tail(), 100) << LBadLength;
        EXPECT_TRUE(SameRecord(ReadAt(900), LDesc));
    }
}

TEST_F(MapFileChannelTest, NoViewerMeansOneFailedOpenPerMessage) {
    TDebugOutputCapture LOutput;
    TMapFileChannel LChannel(true);
    for (int I = 0; I < 3; ++I)
        EXPECT_FALSE(LChannel.CheckReady());
    EXPECT_EQ(LOutput.Lines(), std::vector<std::string>(3, "WbDebug: OpenFileMapping Fail: 2"));

    // A viewer that appears later is found by the next message.
    TTestMapping LMapping(8192, COffset + CQueue);
    EXPECT_TRUE(LChannel.CheckReady());
    EXPECT_EQ(LOutput.Lines().size(), 3u);
}

TEST_F(MapFileChannelTest, MissingQueueEventIsReported) {
    TDebugOutputCapture LOutput;
    TTestMapping LMapping(8192, COffset + CQueue);
    LMapping.DropQueueEvent();
    TMapFileChannel LChannel(false);
    EXPECT_FALSE(LChannel.CheckReady());
    EXPECT_FALSE(LChannel.Connected());
    EXPECT_EQ(LOutput.Lines(), std::vector<std::string>{"WbDebug: OpenEvent Fail: 2"});
}

TEST_F(MapFileChannelTest, HeaderWithoutMagicOrEnabledCountsAsNoViewer) {
    TTestMapping LMapping(8192, COffset + CQueue);
    TMapFileChannel LChannel(false);
    LMapping.Map()[7] = '!'; // the magic name's zero byte
    EXPECT_FALSE(LChannel.CheckReady());
    EXPECT_FALSE(LChannel.Connected());
    LMapping.Map()[7] = 0;
    ASSERT_TRUE(LChannel.CheckReady());

    // The viewer withdraws: the channel lets go and the message is lost.
    LMapping.Set(MapField::MapEnabled, 0);
    EXPECT_FALSE(LChannel.CheckReady());
    EXPECT_FALSE(LChannel.Connected());
    LChannel.SendContent(MakeRecord(10), CMsgHeaderLen + 10);
    EXPECT_EQ(LMapping.Tail(), 0);
}

TEST_F(MapFileChannelTest, MissingMutexDisconnects) {
    Connect();
    FMapping->DropMutex();
    Send(MakeRecord(10));
    EXPECT_EQ(FMapping->Tail(), 0);
    EXPECT_FALSE(FChannel->Connected());
}

TEST_F(MapFileChannelTest, FilterIsCopiedOnceTheViewerChangesIt) {
    Connect();
    EXPECT_FALSE(FChannel->CheckFilterChanged());
    FMapping->Set(MapField::FilterEnabled, 1);
    FMapping->Set(MapField::FilterLevel, 2);
    std::memcpy(FMapping->Map() + MapField::FilterTag, "LONGTAGS", 8); // no terminator
    FMapping->Set(MapField::FilterMsgTypes, 1u << cmtWarning);
    FMapping->Set(MapField::NeedRefresh, 1);
    ASSERT_TRUE(FChannel->CheckFilterChanged());

    TDebugFilter LFilter;
    FChannel->RefreshFilter(LFilter);
    EXPECT_TRUE(LFilter.FEnabled);
    EXPECT_EQ(LFilter.FLevel, 2);
    EXPECT_EQ(LFilter.FTag, "LONGTAGS");
    EXPECT_EQ(LFilter.FMsgTypes, 1u << cmtWarning);
    EXPECT_FALSE(FChannel->CheckFilterChanged());

    std::memcpy(FMapping->Map() + MapField::FilterTag, "ab\0\0\0\0\0\0", 8);
    FMapping->Set(MapField::FilterEnabled, 0);
    FMapping->Set(MapField::NeedRefresh, 1);
    FChannel->RefreshFilter(LFilter);
    EXPECT_FALSE(LFilter.FEnabled);
    EXPECT_EQ(LFilter.FTag, "ab");
}
} // namespace
