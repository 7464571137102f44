// The Win32 loop under message loops it does not run itself: a modal box's,
// or any GetMessageW loop, goes on delivering posts and timer ticks.
#include "platform/MessageLoop_win32.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "platform/Windows_win32.h"

namespace {

TEST(Win32Loop, ForeignGetMessageLoopKeepsDeliveringPostsAndTicks) {
    TWin32MessageLoop LLoop;
    int LPosts = 0, LTicks = 0, LPostsInside = -1;
    TTimer LTimer;
    LTimer.SetInterval(10);
    LTimer.OnTimer = [&](TObject*) { ++LTicks; };
    TMessageWindow LWnd([&](TMessage& AMsg) {
        if (AMsg.Msg != 1) {
            ++LPosts;
            return;
        }
        // Gives up after some 2000 ticks.
        MSG LMsg;
        while (!(LPosts == 3 && LTicks >= 3) && LTicks < 2000 &&
               GetMessageW(&LMsg, nullptr, 0, 0) > 0) {
            TranslateMessage(&LMsg);
            DispatchMessageW(&LMsg);
        }
        LPostsInside = LPosts;
    });
    // The posts wait behind the one that opens the nested loop.
    ASSERT_TRUE(LWnd.Post(1, 0, 0));
    std::thread([&] {
        for (int I = 0; I < 3; ++I)
            LWnd.Post(2, 0, 0);
    }).join();
    EXPECT_TRUE(LLoop.RunUntil([&] { return LPostsInside >= 0; }, 60000));
    EXPECT_EQ(LPostsInside, 3);
    EXPECT_GE(LTicks, 3);
}

TEST(Win32Loop, MessageBoxKeepsDeliveringPostsAndTicks) {
    TWin32MessageLoop LLoop;
    int LPosts = 0, LTicks = 0;
    std::thread LPoster;
    TMessageWindow LWnd([&](TMessage&) { ++LPosts; });
    TTimer LTimer;
    LTimer.SetInterval(10);
    // The box closes itself once posts from a thread and ticks got through.
    LTimer.OnTimer = [&](TObject*) {
        if (++LTicks == 1)
            LPoster = std::thread([&] {
                for (int I = 0; I < 3; ++I)
                    LWnd.Post(2, 0, 0);
            });
        if (LPosts == 3 && LTicks >= 3)
            if (HWND LBox = FindWindowW(L"#32770", L"loop test"))
                PostMessageW(LBox, WM_COMMAND, IDOK, 0);
    };
    const int LResult = MessageBoxW(nullptr, L"closes itself", L"loop test", MB_OK);
    if (LPoster.joinable())
        LPoster.join();
    // Without a display there is no box, unless the run asks for one.
    if (LResult <= 0 && !std::getenv("SP_REQUIRE_MESSAGE_BOX"))
        GTEST_SKIP() << "no message box without a display (error " << GetLastError() << ")";
    EXPECT_EQ(LResult, IDOK);
    EXPECT_EQ(LPosts, 3);
    EXPECT_GE(LTicks, 3);
}

TEST(Win32Loop, HandlerExceptionsLeaveThePumpNotTheWindowProcedure) {
    TWin32MessageLoop LLoop;
    std::vector<uintptr_t> LGot;
    TMessageWindow LWnd([&](TMessage& AMsg) {
        LGot.push_back(AMsg.WParam);
        if (AMsg.WParam == 1)
            throw std::runtime_error("handler");
    });
    LWnd.Post(1, 1, 0);
    LWnd.Post(1, 2, 0);
    EXPECT_THROW(LLoop.ProcessMessages(), std::runtime_error);
    EXPECT_EQ(LGot, (std::vector<uintptr_t>{1}));
    // What the exception left queued comes with the next pump.
    EXPECT_TRUE(LLoop.RunUntil([&] { return LGot.size() == 2; }, 10000));

    TTimer LTimer;
    LTimer.SetInterval(10);
    int LTicks = 0;
    LTimer.OnTimer = [&](TObject*) {
        if (++LTicks == 1)
            throw std::runtime_error("tick");
    };
    EXPECT_THROW(LLoop.RunUntil([] { return false; }, 10000), std::runtime_error);
    EXPECT_TRUE(LLoop.RunUntil([&] { return LTicks >= 2; }, 10000));
}

} // namespace
