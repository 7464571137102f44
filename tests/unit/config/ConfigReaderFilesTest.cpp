// What the reader makes of an INI file that another program wrote, or of a
// path where no INI file is: it reads what it can, keeps the defaults for
// the rest and logs once what was wrong.
#include "config/UnitConfigReader.h"
#include "tests/support/LogCapture.h"
#include "tests/support/ScratchDir.h"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

std::string Utf16Le(std::u16string_view AText) {
    std::string LBytes;
    for (const char16_t C : AText) {
        LBytes += static_cast<char>(C & 0xFF);
        LBytes += static_cast<char>(C >> 8);
    }
    return LBytes;
}

struct TFileCase {
    const char* Name;
    // Makes what sits at APath, the INI's path.
    std::function<void(const TScratchDir&, const fs::path&)> Make;
    int32_t MinValidWeight;
    const char* Warning; // a part of the one warning logged; "" for none
};

void PrintTo(const TFileCase& ACase, std::ostream* AOut) {
    *AOut << ACase.Name;
}

class ConfigReaderFile : public ::testing::TestWithParam<TFileCase> {};

TEST_P(ConfigReaderFile, ReadsWhatItCanAndLogsWhatItCannot) {
    const TFileCase& C = GetParam();
    TLogCapture LLog;
    const TScratchDir LDir("sp-cfg-file");
    const fs::path LIni = LDir / "scaleprobe.INI";
    C.Make(LDir, LIni);
    EXPECT_EQ(TCfgReader(LIni).MinValidWeight(), C.MinValidWeight);
    const std::vector<UnicodeString> LWarnings = LLog.Lines(u"Warning");
    if (*C.Warning == '\0') {
        EXPECT_TRUE(LWarnings.empty()) << UnicodeToUtf8(LWarnings.front());
        return;
    }
    ASSERT_EQ(LWarnings.size(), 1u);
    const std::string LText = UnicodeToUtf8(LWarnings.front());
    EXPECT_EQ(LText.rfind("加载配置错误: " + UnicodeToUtf8(LIni.u16string()) + ": ", 0), 0u)
        << LText;
    EXPECT_NE(LText.find(C.Warning), std::string::npos) << LText;
}

void WriteAs(const std::string& ABytes, const TScratchDir& ADir) {
    ADir.Write("scaleprobe.INI", ABytes);
}

std::vector<TFileCase> FileCases() {
    std::vector<TFileCase> LCases{
        {"Missing", [](const TScratchDir&, const fs::path&) {}, 10, ""},
        {"NotepadUnicode",
         [](const TScratchDir& D, const fs::path&) {
             WriteAs(Utf16Le(u"\uFEFF[Weight]\r\nMinValidWeight=5\r\n"), D);
         },
         5, ""},
        {"Utf16WithoutItsMark",
         [](const TScratchDir& D, const fs::path&) {
             WriteAs(Utf16Le(u"[Weight]\r\nMinValidWeight=5\r\n"), D);
         },
         10, "a NUL byte at offset 1"},
        {"LargerThan1MiB",
         [](const TScratchDir& D, const fs::path&) {
             WriteAs("[Weight]\r\n;" + std::string(2 << 20, 'x') + "\r\nMinValidWeight=5\r\n", D);
         },
         10, "only its first 10 bytes (whole lines) are read; the rest of its"},
        {"Folder", [](const TScratchDir&, const fs::path& P) { fs::create_directory(P); }, 10,
         "a folder, not a regular file"}};
#ifndef _WIN32
    LCases.push_back({"Fifo",
                      [](const TScratchDir&, const fs::path& P) { ::mkfifo(P.c_str(), 0600); }, 10,
                      "a FIFO, not a regular file"});
#endif
    return LCases;
}

INSTANTIATE_TEST_SUITE_P(Table, ConfigReaderFile, ::testing::ValuesIn(FileCases()),
                         [](const auto& AInfo) { return std::string(AInfo.param.Name); });

} // namespace
