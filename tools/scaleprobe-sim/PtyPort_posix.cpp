#include "tools/scaleprobe-sim/PtyPort.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace {

[[noreturn]] void Fail(const std::string& AWhat) {
    throw std::runtime_error(AWhat + ": " + std::strerror(errno));
}

speed_t SpeedConstant(uint32_t ABaud) {
    switch (ABaud) {
    case 300:
        return B300;
    case 600:
        return B600;
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    default:
        return B9600;
    }
}

} // namespace

TPtyPort::TPtyPort(uint32_t AInitialBaud) {
    FMaster = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (FMaster < 0)
        Fail("posix_openpt");
    if (grantpt(FMaster) != 0 || unlockpt(FMaster) != 0) {
        close(FMaster);
        Fail("unlockpt");
    }
    char LName[128] = {};
    if (ptsname_r(FMaster, LName, sizeof LName) != 0) {
        close(FMaster);
        Fail("ptsname");
    }
    FPath = LName;
    // Open the port once: raw, at the indicator's rate. After this first
    // close the master reports a hang-up whenever nobody has the port open.
    const int LSlave = open(LName, O_RDWR | O_NOCTTY);
    if (LSlave < 0) {
        close(FMaster);
        Fail("open " + FPath);
    }
    struct termios LTerm {};
    if (tcgetattr(LSlave, &LTerm) == 0) {
        cfmakeraw(&LTerm);
        cfsetspeed(&LTerm, SpeedConstant(AInitialBaud));
        tcsetattr(LSlave, TCSANOW, &LTerm);
    }
    close(LSlave);
}

TPtyPort::~TPtyPort() {
    if (FMaster >= 0)
        close(FMaster);
}

bool TPtyPort::PeerOpen() const {
    struct pollfd LPoll {
        FMaster, POLLIN, 0
    };
    if (poll(&LPoll, 1, 0) < 0)
        return false;
    return (LPoll.revents & POLLHUP) == 0;
}

bool TPtyPort::LineSettings(uint32_t& ABaud, uint32_t& AStopBits) const {
    bool LTwo = false;
    if (!ReadTerminalSpeed(FMaster, ABaud, LTwo))
        return false;
    AStopBits = LTwo ? 2 : 1;
    return true;
}

void TPtyPort::DrainInput() {
    uint8_t LScratch[512];
    while (read(FMaster, LScratch, sizeof LScratch) > 0) {
    }
}

size_t TPtyPort::Write(const uint8_t* AData, size_t ALength) {
    const ssize_t LDone = write(FMaster, AData, ALength);
    return LDone > 0 ? static_cast<size_t>(LDone) : 0;
}
