// One port's search as the console front end runs it, on pseudo-terminals
// and the virtual clock: a port that goes away mid-search ends it at that
// trial, also in the extended table, and searches side by side take as long
// as one.
#include "app/PortSearch.h"
#include "tests/support/Pty.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

class PortSearchTest : public ::testing::Test {
protected:
    PortSearchTest() {
        Loop.SetVirtualClock(true);
        HeadlessControls().ClearMessages();
    }
    // Drives ASearch until ACondition holds or it ends.
    void RunUntil(TPortSearch& ASearch, const std::function<bool()>& ACondition) {
        for (int I = 0; I < 1000 && !ASearch.Done() && !ACondition(); ++I) {
            Loop.RunUntil([&] { return ASearch.Pending() || ACondition(); }, 60000);
            ASearch.Step();
        }
    }
    THeadlessLoop Loop;
};

TEST_F(PortSearchTest, APortThatVanishesEndsTheSearchAtThatTrial) {
    // Gone after the first trial of the window's search, whose next trial
    // starts 20 ms later; and after the first trial of the extended table,
    // whose next trial is already under way then.
    const struct { size_t Recorded, VanishAt; } LCases[] = {{1, 2}, {13, 15}};
    for (const auto [LRecorded, LVanishAt] : LCases) {
        TPty LPty;
        TPortSearch LSearch(LPty.SlavePath(), true);
        LSearch.Start();
        RunUntil(LSearch, [&] { return LSearch.Report().Trials.size() >= LRecorded; });
        ASSERT_FALSE(LSearch.Done()) << LSearch.Summary();
        LPty.CloseMaster();
        RunUntil(LSearch, [] { return false; });
        ASSERT_EQ(LSearch.End(), TPortSearchEnd::peLost) << LSearch.Summary();
        const TSearchReport& LReport = LSearch.Report();
        ASSERT_EQ(LReport.Trials.size(), LVanishAt);
        EXPECT_EQ(LReport.Trials.back().Extended, LVanishAt > 12);
        EXPECT_NE(LReport.Trials.back().OpenError.find(std::strerror(ENOENT)), std::string::npos)
            << LReport.Trials.back().OpenError;
        for (size_t I = 0; I + 1 < LReport.Trials.size(); ++I)
            EXPECT_TRUE(LReport.Trials[I].OpenError.empty()) << I;
        EXPECT_EQ(LReport.ErrorCode, "port");
        EXPECT_EQ(LReport.ErrorReason, "missing");
        EXPECT_EQ(LReport.ErrorText.rfind("port " + LPty.SlavePath() + " vanished in trial " +
                                              std::to_string(LVanishAt) + ": ",
                                          0),
                  0u)
            << LReport.ErrorText;
        // The transcript says so, and no trial follows.
        const auto& LLines = LSearch.Form().Memo1->Lines();
        EXPECT_EQ(
            UnicodeToUtf8(LLines.back())
                .rfind("trial " + std::to_string(LVanishAt) + " could not open the port: ", 0),
            0u)
            << UnicodeToUtf8(LLines.back());
        Loop.AdvanceTime(5000);
        EXPECT_EQ(LReport.Trials.size(), LVanishAt);
        EXPECT_EQ(LSearch.Form().Bridge(), nullptr);
    }
}

TEST_F(PortSearchTest, SearchesSideBySideTakeAsLongAsOneAndAPortThatGoesEndsAlone) {
    TPty LAlone;
    TPortSearch LOne(LAlone.SlavePath(), false);
    uint64_t LStart = GetTickCount64();
    LOne.Start();
    RunPortSearches({&LOne}, [] { return false; });
    ASSERT_EQ(LOne.End(), TPortSearchEnd::peNotFound) << LOne.Summary();
    const uint64_t LOneTook = GetTickCount64() - LStart;

    // Two silent ports and one that goes away after its first trial.
    TPty LA, LB, LGone;
    TPortSearch LSearchA(LA.SlavePath(), false), LSearchB(LB.SlavePath(), false),
        LSearchGone(LGone.SlavePath(), false);
    LStart = GetTickCount64();
    for (TPortSearch* LSearch : {&LSearchA, &LSearchB, &LSearchGone})
        LSearch->Start();
    RunPortSearches({&LSearchA, &LSearchB, &LSearchGone}, [&] {
        if (LSearchGone.Report().Trials.size() == 1)
            LGone.CloseMaster();
        return false;
    });
    const uint64_t LAllTook = GetTickCount64() - LStart;
    for (TPortSearch* LSearch : {&LSearchA, &LSearchB}) {
        EXPECT_EQ(LSearch->End(), TPortSearchEnd::peNotFound) << LSearch->Summary();
        EXPECT_EQ(LSearch->Report().Trials.size(), 12u);
    }
    EXPECT_EQ(LSearchGone.End(), TPortSearchEnd::peLost) << LSearchGone.Summary();
    EXPECT_EQ(LSearchGone.Report().Trials.size(), 2u);
    EXPECT_EQ(LSearchGone.Summary().rfind("vanished in trial 2: ", 0), 0u) << LSearchGone.Summary();
    // Each on its own timers: the three take as long as one.
    EXPECT_LE(LAllTook, LOneTook + 100) << LOneTook;
    EXPECT_GE(LAllTook, LOneTook);
}

} // namespace
