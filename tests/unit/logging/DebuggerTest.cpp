#include "tests/support/LogCapture.h"

#include "platform/DateTime.h"
#include "platform/System.h"

#include <gtest/gtest.h>

#include <cinttypes>
#include <cstdio>
#include <thread>

namespace {

class DebuggerTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetNowOverride([this] { return FNow; });
    }
    void TearDown() override { SetNowOverride({}); }

    TRecordingDebugger FDebugger;
    TDateTime FNow = EncodeDateTime({2030, 3, 4, 9, 15, 2, 123});
};

std::string Hex(const void* APointer) {
    char LBuffer[32];
    std::snprintf(LBuffer, sizeof LBuffer, "%0*" PRIXPTR, static_cast<int>(sizeof(void*) * 2),
                  reinterpret_cast<uintptr_t>(APointer));
    return LBuffer;
}

} // namespace

TEST_F(DebuggerTest, RecordLayoutIsPackedLittleEndian) {
    Debugger()->LogMsg(u"weight 12.5 kg 重量");
    const auto LRecords = FDebugger.Channel().Records();
    ASSERT_EQ(LRecords.size(), 1u);
    const TRecord& R = LRecords[0];
    const std::string LText = UnicodeToAnsi(u"weight 12.5 kg 重量");
    ASSERT_EQ(R.Bytes.size(), 52 + LText.size());
    EXPECT_EQ(R.Length(), static_cast<int32_t>(52 + LText.size()));
    EXPECT_EQ(R.Level(), 3);
    EXPECT_EQ(R.Indent(), 0);
    EXPECT_EQ(R.ProcessId(), GetCurrentProcessId());
    EXPECT_EQ(R.ThreadId(), GetCurrentThreadId());
    EXPECT_EQ(R.Tag(), std::string(8, '\0'));
    EXPECT_EQ(R.MsgType(), 0u);
    EXPECT_EQ(R.CPInterval(), 0);
    EXPECT_EQ(R.TimeStampType(), 1u);
    EXPECT_EQ(R.DateTime(), FNow);
    EXPECT_EQ(R.Text(), LText);
    // The first bytes spelled out: length 52 + n, then level 3.
    EXPECT_EQ(R.Bytes[0], static_cast<unsigned char>(52 + LText.size()));
    EXPECT_EQ(R.Bytes[1], 0);
    EXPECT_EQ(R.Bytes[4], 3);
    EXPECT_EQ(R.Bytes[40], 1);
    EXPECT_EQ(Debugger()->PostedMessageCount(), 1);
    EXPECT_EQ(Debugger()->MessageCount(), 1);
}

TEST_F(DebuggerTest, OperationsSendTheirTypesAndTags) {
    TDebugFilter LObject;
    Debugger()->LogMsgWarning(u"w");
    Debugger()->LogMsgError(u"e");
    Debugger()->LogObjectWithTag(&LObject, u"Create");
    Debugger()->LogObjectWithTag(&LObject, u"1");
    Debugger()->LogObjectWithTag(&LObject, u"LongerTag9");
    const auto R = FDebugger.Channel().Records();
    ASSERT_EQ(R.size(), 5u);
    EXPECT_EQ(R[0].MsgType(), static_cast<uint32_t>(cmtWarning));
    EXPECT_EQ(R[1].MsgType(), static_cast<uint32_t>(cmtError));
    EXPECT_EQ(R[2].MsgType(), static_cast<uint32_t>(cmtObject));
    EXPECT_EQ(R[2].Tag(), std::string("Create\0\0", 8));
    EXPECT_EQ(R[3].Tag(), std::string("1\0\0\0\0\0\0\0", 8));
    EXPECT_EQ(R[4].Tag(), "LongerTa"); // no terminator
    EXPECT_EQ(R[2].Level(), 3);
}

TEST_F(DebuggerTest, ObjectDumpShowsFullAddressClassAndHierarchy) {
    TDebugFilter LObject;
    Debugger()->LogObjectWithTag(&LObject, u"Create");
    const auto R = FDebugger.Channel().Records();
    ASSERT_EQ(R.size(), 1u);
    EXPECT_EQ(R[0].Text(), "Object: $" + Hex(&LObject) +
                               "\r\nClass:TDebugFilter\r\nHierarchy:TDebugFilter <- TObject\r\n");
    EXPECT_EQ(Hex(&LObject).size(), sizeof(void*) * 2);
}

TEST_F(DebuggerTest, EmptyTextIsNeitherSentNorCountedNorStartsTheViewer) {
    Debugger()->LogMsg(u"");
    Debugger()->LogObjectWithTag(nullptr, u"x"); // not empty: the address line
    EXPECT_EQ(FDebugger.Channel().Records().size(), 1u);
    EXPECT_EQ(Debugger()->MessageCount(), 1);
    FinalizeDebuggerUnit();
    InitDebuggerUnit();
    Debugger()->LogMsgError(u"");
    EXPECT_EQ(Debugger()->MessageCount(), 0);
    EXPECT_FALSE(Debugger()->ViewerAutoStartCalled());
    EXPECT_EQ(FDebugger.Channel().FViewerStarts, 0);
    Debugger()->LogMsg(u"a");
    Debugger()->LogMsg(u"b");
    EXPECT_EQ(FDebugger.Channel().FViewerStarts, 1);
}

TEST_F(DebuggerTest, LongTextIsCutInto4096BytePieces) {
    const std::string LText(5000, 'x');
    UnicodeString LMsg(LText.begin(), LText.end());
    LMsg[4096] = u'y'; // the first byte of the second piece
    Debugger()->LogMsgWarning(LMsg);
    auto R = FDebugger.Channel().Records();
    ASSERT_EQ(R.size(), 2u);
    EXPECT_EQ(R[0].Length(), 52 + 4096);
    EXPECT_EQ(R[1].Length(), 52 + 904);
    EXPECT_EQ(R[1].Text()[0], 'y');
    EXPECT_EQ(R[0].Text() + R[1].Text(), UnicodeToAnsi(LMsg));
    for (int I = 0; I <= 1; ++I) {
        EXPECT_EQ(R[I].MsgType(), static_cast<uint32_t>(cmtWarning));
        EXPECT_EQ(R[I].Level(), 3);
        EXPECT_EQ(R[I].Tag(), std::string(8, '\0'));
    }
    EXPECT_EQ(Debugger()->MessageCount(), 2);
    EXPECT_EQ(Debugger()->PostedMessageCount(), 2);

    // Exactly 4096 bytes is one record.
    Debugger()->LogMsg(UnicodeString(4096, u'z'));
    R = FDebugger.Channel().Records();
    ASSERT_EQ(R.size(), 3u);
    EXPECT_EQ(R[2].Length(), 52 + 4096);
}

TEST_F(DebuggerTest, ViewerFilterDecidesWhatIsSent) {
    auto& C = FDebugger.Channel();
    C.PublishFilter(true, 2);
    Debugger()->LogMsg(u"dropped by level");
    EXPECT_TRUE(C.Records().empty());
    EXPECT_EQ(Debugger()->MessageCount(), 1);

    C.PublishFilter(false, 2);
    Debugger()->LogMsg(u"passes");
    ASSERT_EQ(C.Records().size(), 1u);

    C.PublishFilter(true, 3, AnsiString(), 1u << cmtError);
    Debugger()->LogMsg(u"dropped by type");
    Debugger()->LogMsgError(u"error passes");
    ASSERT_EQ(C.Records().size(), 2u);
    EXPECT_EQ(C.Records()[1].Text(), "error passes");

    TDebugFilter LObject;
    C.PublishFilter(true, 3, "create");
    Debugger()->LogMsg(u"untagged dropped");
    Debugger()->LogObjectWithTag(&LObject, u"CREATE");
    Debugger()->LogObjectWithTag(&LObject, u"1");
    ASSERT_EQ(C.Records().size(), 3u);
    EXPECT_EQ(C.Records()[2].Tag(), std::string("CREATE\0\0", 8));

    C.PublishFilter(true, 3, "LongerTag9"); // longer than a record's tag: never matches
    Debugger()->LogObjectWithTag(&LObject, u"LongerTag9");
    EXPECT_EQ(C.Records().size(), 3u);
}

TEST_F(DebuggerTest, ChannelNeverReadyDropsEverythingButStartsViewerOnce) {
    auto& C = FDebugger.Channel();
    C.FReady = false;
    for (int I = 0; I < 3; ++I)
        Debugger()->LogMsg(u"m");
    EXPECT_TRUE(C.Records().empty());
    EXPECT_EQ(C.FViewerStarts, 1);
    EXPECT_EQ(Debugger()->MessageCount(), 3);
    EXPECT_EQ(Debugger()->PostedMessageCount(), 0);

    C.FReady = true;
    C.SetActive(false);
    Debugger()->LogMsg(u"inactive");
    EXPECT_TRUE(C.Records().empty());
    EXPECT_FALSE(Debugger()->CheckEnabled());
}

TEST_F(DebuggerTest, ExceptionTexts) {
    EConvertError E(u"bad value");
    Debugger()->LogException(nullptr, u"ignored");
    Debugger()->LogException(&E, u"");
    Debugger()->LogException(&E, u"loading");
    const auto R = FDebugger.Channel().Records();
    ASSERT_EQ(R.size(), 2u);
    EXPECT_EQ(R[0].Text(), "Exception: EConvertError - bad value");
    EXPECT_EQ(R[0].MsgType(), static_cast<uint32_t>(cmtInformation));
    EXPECT_EQ(R[1].Text(), "loading EConvertError - bad value");
}

TEST_F(DebuggerTest, CalibrationResetsCountersAndLeavesChannelActive) {
    EXPECT_EQ(Debugger()->MessageCount(), 0);
    EXPECT_EQ(Debugger()->PostedMessageCount(), 0);
    EXPECT_EQ(FDebugger.Channel().FViewerStarts, 0);
    EXPECT_TRUE(FDebugger.Channel().Active());
    EXPECT_TRUE(FDebugger.Channel().AutoFlush());
    Debugger()->LogMsg(u"x");
    Debugger()->Calibrate();
    EXPECT_EQ(Debugger()->MessageCount(), 0);
    EXPECT_TRUE(Debugger()->CheckEnabled());
}

TEST(DebuggerChannel, FailedChannelConstructionLeavesNoChannel) {
    FinalizeDebuggerUnit();
    SetDebugChannelClass(
        [](bool) -> std::unique_ptr<TDebugChannel> { throw Exception(u"no channel"); });
    InitDebuggerUnit();
    EXPECT_EQ(Debugger()->Channel(), nullptr);
    EXPECT_FALSE(Debugger()->CheckEnabled());
    Debugger()->LogMsg(u"goes nowhere");
    EXPECT_EQ(Debugger()->MessageCount(), 1);
    EXPECT_EQ(Debugger()->PostedMessageCount(), 0);
    EXPECT_TRUE(Debugger()->ViewerAutoStartCalled());
    FinalizeDebuggerUnit();
    SetDebugChannelClass(nullptr);
}

TEST(DebuggerThreads, OneDebuggerForAllThreadsAndEachThreadItsId) {
    FinalizeDebuggerUnit();
    TRecordingChannel::Install();
    constexpr int CThreads = 8;
    std::vector<TDebugger*> LSeen(CThreads);
    std::vector<uint32_t> LIds(CThreads);
    {
        std::vector<std::jthread> LThreads;
        for (int I = 0; I < CThreads; ++I)
            LThreads.emplace_back([&, I] {
                LSeen[I] = Debugger();
                LIds[I] = GetCurrentThreadId();
                Debugger()->LogMsg(u"t" + IntToStr(I));
            });
    }
    for (int I = 1; I < CThreads; ++I)
        EXPECT_EQ(LSeen[I], LSeen[0]);
    const auto R = TRecordingChannel::Last.load()->Records();
    ASSERT_EQ(R.size(), static_cast<size_t>(CThreads));
    for (const TRecord& LRecord : R) {
        const int I = std::stoi(LRecord.Text().substr(1));
        EXPECT_EQ(LRecord.ThreadId(), LIds[I]);
        EXPECT_EQ(LRecord.Indent(), 0);
    }
    FinalizeDebuggerUnit();
    SetDebugChannelClass(nullptr);
}
