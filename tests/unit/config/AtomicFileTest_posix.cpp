// Replacing a file through its symbolic links keeps the links, and a new
// file gets the mode a plain create gives it.
#include "config/AtomicFile.h"
#include "tests/support/ScratchDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct TLinkCase {
    const char* Name;
    mode_t Umask;
    const char* OldFile; // made with mode 0640 before the save; "" for none
    std::vector<std::pair<const char*, const char*>> Links; // name, what it names
    const char* Saved;                                      // the path saved to
    const char* Written;  // the regular file that must hold the new bytes
    unsigned WrittenMode; // its permissions afterwards
};

void PrintTo(const TLinkCase& ACase, std::ostream* AOut) {
    *AOut << ACase.Name;
}

class ReplaceThroughLinks : public ::testing::TestWithParam<TLinkCase> {};

TEST_P(ReplaceThroughLinks, TheFileTheLinksNameIsReplaced) {
    const TLinkCase& C = GetParam();
    const TScratchDir LDir("sp-links");
    fs::create_directories(LDir / "sub");
    if (*C.OldFile != '\0')
        fs::permissions(LDir.Write(C.OldFile, "old"), fs::perms(0640));
    for (const auto& [LName, LTarget] : C.Links)
        fs::create_symlink(LTarget, LDir / LName);
    const mode_t LOldMask = ::umask(C.Umask);
    std::string LError;
    const bool LDone = ReplaceFileAtomically(LDir / C.Saved, "new", LError);
    ::umask(LOldMask);
    EXPECT_TRUE(LDone) << LError;
    for (const auto& [LName, LTarget] : C.Links)
        EXPECT_TRUE(fs::is_symlink(LDir / LName)) << LName;
    EXPECT_EQ(ReadWholeFile(LDir / C.Written), "new");
    struct stat LInfo {};
    ASSERT_EQ(::lstat((LDir / C.Written).c_str(), &LInfo), 0);
    EXPECT_TRUE(S_ISREG(LInfo.st_mode));
    EXPECT_EQ(LInfo.st_mode & 07777, C.WrittenMode);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReplaceThroughLinks,
    ::testing::Values(TLinkCase{"LinkToAFile",
                                022,
                                "real.INI",
                                {{"link.INI", "real.INI"}},
                                "link.INI",
                                "real.INI",
                                0640},
                      TLinkCase{"ChainOfRelativeLinks",
                                022,
                                "real.INI",
                                {{"a.INI", "sub/b.INI"}, {"sub/b.INI", "../real.INI"}},
                                "a.INI",
                                "real.INI",
                                0640},
                      TLinkCase{"LinkToNothingYet",
                                022,
                                "",
                                {{"link.INI", "sub/new.INI"}},
                                "link.INI",
                                "sub/new.INI",
                                0644},
                      TLinkCase{"NewFile", 022, "", {}, "new.INI", "new.INI", 0644},
                      TLinkCase{
                          "NewFileUnderAStricterMask", 077, "", {}, "new.INI", "new.INI", 0600},
                      TLinkCase{"NewFileUnderNoMask", 0, "", {}, "new.INI", "new.INI", 0666}),
    [](const auto& AInfo) { return std::string(AInfo.param.Name); });

} // namespace
