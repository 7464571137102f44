// Rates without a B constant go through termios2; kept apart from the files
// that use <termios.h>, whose struct clashes with the kernel's.
#include "PtyFixture.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace {

using PtyLineRate = PtyFixture;

TEST_F(PtyLineRate, AnyBaudRateIsApplied) {
    FComm->SetBaudRate(250000);
    FComm->StartComm();
    termios2 LTio{};
    ASSERT_EQ(::ioctl(FPty.Master(), TCGETS2, &LTio), 0);
    EXPECT_EQ(LTio.c_cflag & CBAUD, static_cast<tcflag_t>(BOTHER));
    EXPECT_EQ(LTio.c_ospeed, 250000u);
    FComm->SetBaudRate(9600);
    ASSERT_EQ(::ioctl(FPty.Master(), TCGETS2, &LTio), 0);
    EXPECT_EQ(LTio.c_cflag & CBAUD, static_cast<tcflag_t>(B9600));
    FComm->StopComm();
}

} // namespace
