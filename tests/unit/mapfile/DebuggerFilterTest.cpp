// The debugger on this channel, with a viewer in the same process: what the
// viewer's filter lets through.
#include "logging/MapFileViewer.h"
#include "logging/UnitMapFileChannel.h"
#include "tests/support/MapFileObjects.h"
#include "tests/support/ScratchDir.h"

#include <gtest/gtest.h>

namespace {
class DebuggerFilterTest : public ::testing::Test {
protected:
    void SetUp() override {
        UseOwnObjectNames("filter");
        SetDebugChannelClass(MakeMapFileChannel);
        std::string LError;
        ASSERT_TRUE(FViewer.Open(LError)) << LError;
        FDebugger = std::make_unique<TDebugger>();
    }
    void TearDown() override {
        FDebugger.reset();
        SetDebugChannelClass({});
        FViewer.Close();
    }

    // The texts that reach the viewer for one call. The flush event is set
    // beforehand, so the sender does not wait for it.
    template <class F> std::vector<std::string> Received(F ACall) {
        FViewer.SignalFlush();
        ACall(*FDebugger);
        std::vector<std::string> LTexts;
        for (const TViewerRecord& LRecord : FViewer.Drain())
            LTexts.push_back(LRecord.Msg);
        return LTexts;
    }
    std::vector<std::string> ReceivedMsg(const char16_t* AText) {
        return Received([AText](TDebugger& D) { D.LogMsg(AText); });
    }

    using TTexts = std::vector<std::string>;
    // No viewer program can be found, so the first message starts none.
    TScratchDir FEmptyDir{"mapfile-filter"};
    TEnvScope FPath{"PATH", FEmptyDir.Path().string()};
    TEnvScope FConfigHome{"XDG_CONFIG_HOME", FEmptyDir.Path().string()};
    TMapFileViewer FViewer{65536};
    std::unique_ptr<TDebugger> FDebugger;
};

TEST_F(DebuggerFilterTest, LevelFilterBlocksThisSystemsMessagesUntilSwitchedOff) {
    EXPECT_EQ(ReceivedMsg(u"before"), TTexts{"before"});
    FViewer.PublishFilter({true, 2, "", 0});
    EXPECT_TRUE(ReceivedMsg(u"level three").empty());
    EXPECT_TRUE(Received([](TDebugger& D) { D.LogMsgError(u"error too"); }).empty());
    FViewer.PublishFilter({true, 3, "", 0});
    EXPECT_EQ(ReceivedMsg(u"level three passes"), TTexts{"level three passes"});
    FViewer.PublishFilter(TViewerFilter{});
    EXPECT_EQ(ReceivedMsg(u"after"), TTexts{"after"});
}

TEST_F(DebuggerFilterTest, TagFilterIgnoresCase) {
    TObject LObject;
    FViewer.PublishFilter({true, INT32_MAX, "create", 0});
    EXPECT_TRUE(ReceivedMsg(u"untagged").empty());
    const auto LTexts = Received([&](TDebugger& D) { D.LogObjectWithTag(&LObject, u"Create"); });
    ASSERT_EQ(LTexts.size(), 1u);
    EXPECT_EQ(LTexts[0].rfind("Object: $", 0), 0u);
    EXPECT_TRUE(Received([&](TDebugger& D) { D.LogObjectWithTag(&LObject, u"1"); }).empty());
}

TEST_F(DebuggerFilterTest, TypeFilterLetsOnlyItsTypesPass) {
    FViewer.PublishFilter({true, INT32_MAX, "", (1u << cmtWarning) | (1u << cmtError)});
    EXPECT_TRUE(ReceivedMsg(u"info").empty());
    EXPECT_EQ(Received([](TDebugger& D) { D.LogMsgWarning(u"warn"); }), TTexts{"warn"});
    EXPECT_EQ(Received([](TDebugger& D) { D.LogMsgError(u"err"); }), TTexts{"err"});
}

TEST_F(DebuggerFilterTest, LongTextArrivesInPieces) {
    const auto LTexts = Received([](TDebugger& D) { D.LogMsgWarning(UnicodeString(5000, u'w')); });
    ASSERT_EQ(LTexts.size(), 2u);
    EXPECT_EQ(LTexts[0], std::string(4096, 'w'));
    EXPECT_EQ(LTexts[1], std::string(904, 'w'));
}
} // namespace
