// A component on the slave side of a pseudo-terminal whose master side the
// test holds.
#pragma once

#include "CommOnPort.h"
#include "tests/support/Pty.h"

class PtyFixture : public CommOnPort {
protected:
    void SetUp() override {
        ASSERT_TRUE(FPty.IsOpen());
        OpenOn(FPty.SlaveName());
    }

    // As the kernel makes it: what the component sets up shows.
    TPty FPty{TPty::TLine::plAsMade};
};
