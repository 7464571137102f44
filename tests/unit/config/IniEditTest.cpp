// Setting keys in an INI text keeps every other byte; the file is replaced
// whole or not at all.
#include "config/IniEdit.h"
#include "config/AtomicFile.h"
#include "tests/support/ScratchDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

TEST(SetIniValues, ChangesTheKeysTheReaderSeesAndNothingElse) {
    // A BOM, comments, odd case and blanks, the section twice and a key twice
    // (the reader takes the first), a malformed header, CR LF line ends.
    const std::string LIn =
        "\xEF\xBB\xBF; site A\r\n[commconfig]\r\n  commname =  COM1 \r\n"
        "#BaudRate=1\r\nbaudrate=9600\r\nCommName=COM9\r\n\r\n[Weight]\r\n"
        "MinValidWeight=6\r\n[CommConfig\r\nStopBits=7\r\n[COMMCONFIG]\r\nX=1\r\n";
    const std::string LOut =
        SetIniValues(LIn, "CommConfig",
                     {{"CommName", "/dev/ttyUSB0"}, {"BaudRate", "19200"}, {"StopBits", "2"}});
    EXPECT_EQ(LOut,
              "\xEF\xBB\xBF; site A\r\n[commconfig]\r\n  commname =  /dev/ttyUSB0 \r\n"
              "#BaudRate=1\r\nbaudrate=19200\r\nCommName=COM9\r\nStopBits=2\r\n\r\n[Weight]\r\n"
              "MinValidWeight=6\r\n[CommConfig\r\nStopBits=7\r\n[COMMCONFIG]\r\nX=1\r\n");
}

TEST(SetIniValues, AddsAMissingSectionInTheFilesLineEnds) {
    EXPECT_EQ(SetIniValues("[Server]\nHttpSrv=x", "CommConfig", {{"BaudRate", "4800"}}),
              "[Server]\nHttpSrv=x\n\n[CommConfig]\nBaudRate=4800\n");
    EXPECT_EQ(SetIniValues("", "CommConfig", {{"BaudRate", "4800"}}),
              "[CommConfig]\r\nBaudRate=4800\r\n");
    EXPECT_EQ(SetIniValues("[CommConfig]", "CommConfig", {{"BaudRate", "4800"}}),
              "[CommConfig]\r\nBaudRate=4800\r\n");
}

class ReplaceFile : public ::testing::Test {
protected:
    const TScratchDir FDir{"sp-atomic"};
};

TEST_F(ReplaceFile, NewContentReplacesTheOldAndNoTemporaryStays) {
    const fs::path LFile = FDir / "a.INI";
    std::ofstream(LFile, std::ios::binary) << "old";
    std::string LError;
    ASSERT_TRUE(ReplaceFileAtomically(LFile, "new\r\n", LError)) << LError;
    EXPECT_EQ(ReadWholeFile(LFile), "new\r\n");
    EXPECT_EQ(std::distance(fs::directory_iterator(FDir.Path()), fs::directory_iterator()), 1);
}

TEST_F(ReplaceFile, AFailureSaysWhyAndLeavesTheOldFile) {
    // A folder where the file would go cannot be replaced by a file.
    fs::create_directories(FDir / "busy.INI" / "inner");
    std::string LError;
    EXPECT_FALSE(ReplaceFileAtomically(FDir / "busy.INI", "new", LError));
    EXPECT_FALSE(LError.empty());
    EXPECT_TRUE(fs::is_directory(FDir / "busy.INI" / "inner"));
    EXPECT_EQ(std::distance(fs::directory_iterator(FDir.Path()), fs::directory_iterator()), 1);
    LError.clear();
    EXPECT_FALSE(ReplaceFileAtomically(FDir / "missing" / "a.INI", "new", LError));
    EXPECT_NE(LError.find("missing"), std::string::npos) << LError;
}

} // namespace
