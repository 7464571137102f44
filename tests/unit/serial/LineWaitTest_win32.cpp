// The system driver on a port whose line-event wait ends as Wine's serial
// ports end one (a real UART behind COM1): on a changed mask, never on a
// cancel. The port is a plain file; the wait is played by the calls below.
#include "serial/CommDriver.h"

#include "serial/CommDriver_win32.h"
#include "tests/support/ScratchDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <mutex>
#include <vector>

namespace {

constexpr ULONG_PTR CStatusPending = 0x103;

// The pending waits, and whether a new mask ends them.
struct TStubbornWait {
    static inline std::mutex Lock;
    static inline std::vector<std::pair<OVERLAPPED*, DWORD*>> Waits;
    static inline bool EndsOnMask = true;
    static inline std::vector<DWORD> Masks;

    static BOOL WINAPI WaitCommEvent(HANDLE, LPDWORD AMask, LPOVERLAPPED AOv) {
        std::lock_guard<std::mutex> L(Lock);
        Waits.emplace_back(AOv, AMask);
        AOv->Internal = CStatusPending;
        ::ResetEvent(AOv->hEvent);
        ::SetLastError(ERROR_IO_PENDING);
        return FALSE;
    }
    static BOOL WINAPI SetCommMask(HANDLE, DWORD AMask) {
        std::lock_guard<std::mutex> L(Lock);
        Masks.push_back(AMask);
        if (EndsOnMask)
            EndLocked();
        return TRUE;
    }
    // Taken, and without effect.
    static BOOL WINAPI CancelIoEx(HANDLE, LPOVERLAPPED) { return TRUE; }

    // Completes the waits with an empty mask, as the OS does: it writes
    // into the record and the mask word it was given.
    static void End() {
        std::lock_guard<std::mutex> L(Lock);
        EndLocked();
    }
    static void EndLocked() {
        for (auto [LOv, LMask] : Waits) {
            *LMask = 0;
            LOv->InternalHigh = 0;
            LOv->Internal = 0;
            ::SetEvent(LOv->hEvent);
        }
        Waits.clear();
    }
};

class StubbornLineWait : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        FSaved = Win32CommCalls();
        Win32CommCalls() = {&TStubbornWait::WaitCommEvent, &TStubbornWait::SetCommMask,
                            &TStubbornWait::CancelIoEx};
        TStubbornWait::EndsOnMask = GetParam();
        TStubbornWait::Masks.clear();
        TStubbornWait::Waits.clear();
    }
    void TearDown() override { Win32CommCalls() = FSaved; }

    TWin32CommCalls FSaved;
    const TScratchDir FDir{"sp-line-wait"};
    const std::filesystem::path FPath = FDir.Write("port", "x");
};

TEST_P(StubbornLineWait, APurgeEndsThePendingWaitWithoutHanging) {
    TCommDriver& D = SystemCommDriver();
    const THandle LPort = D.Open(FPath.u16string());
    ASSERT_NE(LPort, 0u);
    const uint32_t LAsked = EV_ERR | EV_RLSD | EV_RING;
    ASSERT_TRUE(D.SetEventMask(LPort, LAsked));
    TOverlapped LOv;
    LOv.hEvent = D.NewEvent(true);
    uint32_t LMask = 0xFFFF;
    ASSERT_EQ(D.WaitLineEvent(LPort, LMask, LOv), TCommResult::crIoPending);

    // The end of a trial: the purge of the receive side, under the driver's lock.
    auto LPurge =
        std::async(std::launch::async, [&] { D.Purge(LPort, PURGE_RXABORT | PURGE_RXCLEAR); });
    const bool LReturned = LPurge.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    if (!LReturned)
        TStubbornWait::End(); // frees the purge, so that the test can end
    LPurge.wait();
    EXPECT_TRUE(LReturned) << "the purge waited for the line-event wait without limit";

    uint32_t LCount = 0;
    EXPECT_EQ(D.GetResult(LPort, LOv, LCount, false), TCommResult::crOther) << "not cancelled";
    EXPECT_EQ(LMask, 0xFFFFu) << "a cancelled wait reports no events";
    ASSERT_FALSE(TStubbornWait::Masks.empty());
    EXPECT_EQ(TStubbornWait::Masks.back(), LAsked) << "the mask asked for is put back";
    // The driver, its lock and the event go on working; a wait the OS ends
    // late writes only into memory the driver left to it.
    EXPECT_EQ(D.WaitAny(1, &LOv.hEvent, 0), WAIT_OBJECT_0);
    EXPECT_EQ(D.WaitLineEvent(LPort, LMask, LOv), TCommResult::crIoPending);
    TStubbornWait::End();
    EXPECT_EQ(D.WaitAny(1, &LOv.hEvent, 10000), WAIT_OBJECT_0);
    EXPECT_EQ(D.GetResult(LPort, LOv, LCount, false), TCommResult::crOk);
    D.FreeEvent(LOv.hEvent);
    D.Close(LPort);
}

// true: the wait ends once the mask changes (Wine); false: it ends only
// long after the driver has given up on it.
INSTANTIATE_TEST_SUITE_P(EndsOnMask, StubbornLineWait, ::testing::Values(true, false));

} // namespace
