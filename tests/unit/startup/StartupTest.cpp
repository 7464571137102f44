#include "tests/support/LogCapture.h"

#include "app/Startup.h"
#include "config/UnitConfigReader.h"
#include "logging/UnitLogFile.h"
#include "platform/System.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

// Notes, with each record, which units existed when it was sent.
class TOrderChannel : public TRecordingChannel {
    SP_CLASS(TOrderChannel, TRecordingChannel)
public:
    using TRecordingChannel::TRecordingChannel;
    static inline std::vector<std::string> FSeen;

    void SendContent(const TMsgDesc& AMsgDesc, int32_t ASize) override {
        TRecordingChannel::SendContent(AMsgDesc, ASize);
        const std::string LTag(AMsgDesc.Annex.Tag, strnlen(AMsgDesc.Annex.Tag, 8));
        FSeen.push_back((LTag.empty() ? std::string("text") : LTag) + (GLogFile ? " log" : "") +
                        (GCfgReader ? " cfg" : ""));
    }
};

} // namespace

TEST(Startup, UnitsStartInOrderAndShutDownInReverse) {
    const TDateTime LDate = EncodeDateTime({2032, 1, 2, 3, 4, 5, 6});
    const fs::path LFile = GetExecutableDir() / "log" / "2032-01" / "20320102.log";
    fs::remove(LFile);
    SetNowOverride([LDate] { return LDate; });
    TOrderChannel::FSeen.clear();
    ASSERT_EQ(GLogFile, nullptr);
    ASSERT_EQ(GCfgReader, nullptr);

    StartUpUnits([](bool IsAutoFlush) {
        auto LChannel = std::make_unique<TOrderChannel>(IsAutoFlush);
        TRecordingChannel::Last = LChannel.get();
        return std::unique_ptr<TDebugChannel>(std::move(LChannel));
    });
    ASSERT_NE(GLogFile, nullptr);
    ASSERT_NE(GCfgReader, nullptr);
    TRecordingChannel* LChannel = TRecordingChannel::Last;
    ASSERT_NE(LChannel, nullptr);
    // The debugger was made (and calibrated) first: it counted every message.
    EXPECT_EQ(Debugger()->MessageCount(), static_cast<int32_t>(LChannel->Records().size()));
    EXPECT_EQ(LChannel->FViewerStarts, 1);
    GLogFile->LogInfo(u"running");

    ShutDownUnits();
    EXPECT_EQ(GLogFile, nullptr);
    EXPECT_EQ(GCfgReader, nullptr);
    EXPECT_EQ(TRecordingChannel::Last.load(), nullptr); // the debugger freed its channel
    SetNowOverride({});
    SetDebugChannelClass(nullptr);

    // The log's worker announced itself before the reader existed (the start
    // banner follows), and ended after the reader was gone and the global cleared.
    const std::vector<std::string> LExpected = {"Create", "text", "text log cfg", "1"};
    EXPECT_EQ(TOrderChannel::FSeen, LExpected);

    const std::string LStart = "[Info][03:04:05 006]" + UnicodeToAnsi(CStartBanner) + "\r\n";
    const std::string LText = ReadWholeFile(LFile);
    EXPECT_EQ(LText,
              LStart + "[Info][03:04:05 006]running\r\n" + UnicodeToAnsi(CExitBanner) + "\r\n");
    fs::remove_all(LFile.parent_path());
}

TEST(Startup, TheProgramsDebuggerSendsThroughTheSharedMemoryChannel) {
    StartUpUnits();
    ASSERT_NE(Debugger()->Channel(), nullptr);
    EXPECT_EQ(Debugger()->Channel()->ClassName(), u"TMapFileChannel");
    EXPECT_TRUE(Debugger()->Channel()->AutoFlush());
    ShutDownUnits();
    SetDebugChannelClass(nullptr);
}
