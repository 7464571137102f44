#include "logging/LogFileIo.h"
#include "platform/System.h"
#include "tests/support/ScratchDir.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

namespace {

#ifdef _WIN32
// Wine's drive Z: is the Linux root; on Windows proper the test is skipped.
const fs::path CFullDevice = L"Z:\\dev\\full";
#else
const fs::path CFullDevice = "/dev/full";
#endif

class LogFileIo : public ::testing::Test {
protected:
    const TScratchDir FDir{"sp-logfileio"};
};

// A second instance that found no day's file and writes its first line just
// after another instance began the file appends to it.
TEST_F(LogFileIo, CreatesOrAppendsWhileAReaderHoldsTheFileAndNeverEmptiesIt) {
    const fs::path LFile = FDir / "20300304.log";
    EXPECT_EQ(WriteWholeLine(LFile, "one\r\n").Error, 0);
    std::ifstream LViewer(LFile, std::ios::binary); // a viewer following the log
    ASSERT_TRUE(LViewer.is_open());
    const TLineWrite LResult = WriteWholeLine(LFile, "two\r\n");
    EXPECT_EQ(LResult.Error, 0);
    EXPECT_TRUE(LResult.Opened);
    EXPECT_EQ(ReadWholeFile(LFile), "one\r\ntwo\r\n");
}

TEST_F(LogFileIo, FailuresCarryTheErrorNumberTheLogReports) {
    const TLineWrite LNoFolder = WriteWholeLine(FDir / "missing" / "x.log", "line\r\n");
    EXPECT_EQ(LNoFolder.Error, ENOENT);
    EXPECT_FALSE(LNoFolder.Opened);
    const TLineWrite LFull = WriteWholeLine(CFullDevice, "line\r\n");
    if (!LFull.Opened && LFull.Error == ENOENT)
        GTEST_SKIP() << CFullDevice << " is not there";
    EXPECT_EQ(LFull.Error, ENOSPC);
    EXPECT_TRUE(LFull.Opened);
}

} // namespace
