#include "platform/Object.h"
#include "platform/System.h"
#include "platform/Thread.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

class TCounterThread : public TThread {
    SP_CLASS(TCounterThread, TThread)
public:
    ~TCounterThread() override { TerminateAndWait(); }
    std::atomic<int> FLoops{0};
    std::atomic<uint32_t> FSeenId{0};

protected:
    void Execute() override {
        FSeenId = GetCurrentThreadId();
        while (!Terminated())
            ++FLoops, YieldThread();
    }
};

class TThrowingThread : public TThread {
protected:
    void Execute() override { throw Exception(u"boom"); }
};

} // namespace

TEST(Object, ClassNameAndHierarchy) {
    TCounterThread T;
    EXPECT_EQ(T.ClassName(), u"TCounterThread");
    const auto H = T.ClassHierarchy();
    ASSERT_EQ(H.size(), 3u);
    EXPECT_EQ(H[1], u"TThread");
    EXPECT_EQ(H[2], u"TObject");
    EConvertError E(u"bad");
    EXPECT_EQ(E.ClassName(), u"EConvertError");
    EXPECT_EQ(E.Message(), u"bad");
    EXPECT_STREQ(E.what(), "bad");
}

TEST(Thread, StartTerminateJoin) {
    TCounterThread T;
    EXPECT_EQ(T.ThreadId(), 0u);
    EXPECT_TRUE(T.WaitFor(0)); // never started
    T.SetPriority(TThreadPriority::tpHighest);
    T.Start();
    EXPECT_FALSE(T.WaitFor(20));
    T.Terminate();
    T.WaitFor();
    EXPECT_TRUE(T.Finished());
    EXPECT_NE(T.FSeenId.load(), 0u);
    EXPECT_NE(T.FSeenId.load(), GetCurrentThreadId());
    EXPECT_EQ(T.ThreadId(), T.FSeenId.load());
}

TEST(Thread, ExceptionEndsOnlyTheThread) {
    TThrowingThread T;
    T.Start();
    EXPECT_TRUE(T.WaitFor(10000));
    T.WaitFor();
}

TEST(Thread, DestructorJoinsARunningThread) {
    auto T = std::make_unique<TCounterThread>();
    T->Start();
    T.reset(); // must not hang or crash
    SUCCEED();
}

TEST(System, DebugOutputHookSeesEveryString) {
    std::vector<UnicodeString> LSeen;
    SetDebugOutputHook([&](const UnicodeString& S) { LSeen.push_back(S); });
    OutputDebugStr(u"one");
    OutputDebugStr(u"二");
    SetDebugOutputHook({});
    OutputDebugStr(u"three");
    ASSERT_EQ(LSeen.size(), 2u);
    EXPECT_EQ(LSeen[1], u"二");
}

TEST(System, ExecutablePathIsThisProgramsFile) {
    const std::filesystem::path LPath = GetExecutablePath();
    EXPECT_TRUE(LPath.is_absolute());
    EXPECT_EQ(LPath.stem(), "test_platform"); // "test_platform.exe" on Windows
    EXPECT_TRUE(std::filesystem::is_regular_file(LPath)) << LPath;
    EXPECT_EQ(GetExecutableDir(), LPath.parent_path());
}
