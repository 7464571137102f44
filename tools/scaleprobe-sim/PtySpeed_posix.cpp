// Kept apart: the kernel's termios2 cannot share a file with <termios.h>.
#include "tools/scaleprobe-sim/PtyPort.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

bool ReadTerminalSpeed(int AFd, uint32_t& ABaud, bool& ATwoStopBits) {
    struct termios2 LTerm {};
    if (ioctl(AFd, TCGETS2, &LTerm) != 0)
        return false;
    ABaud = LTerm.c_ospeed;
    ATwoStopBits = (LTerm.c_cflag & CSTOPB) != 0;
    return true;
}
