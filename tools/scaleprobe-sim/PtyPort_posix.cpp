#include "tools/scaleprobe-sim/PtyPort.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

[[noreturn]] void Fail(const std::string& AWhat) {
    throw std::runtime_error(AWhat + ": " + std::strerror(errno));
}

} // namespace

TPtyPort::TPtyPort() {
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
    // Packet mode: each read of the master tells whether the application
    // flushed its input.
    int LPacket = 1;
    if (ioctl(FMaster, TIOCPKT, &LPacket) != 0) {
        close(FMaster);
        Fail("TIOCPKT");
    }
    // Open the port once: raw, at speed 0. After this first close the master
    // reports a hang-up whenever nobody has the port open; and since a close
    // gives the port back the settings its opener found, the line stays dead
    // between an open and the opener's own settings (an indicator's rate
    // there would hand the next opener frames from before its settings).
    const int LSlave = open(LName, O_RDWR | O_NOCTTY);
    if (LSlave < 0) {
        close(FMaster);
        Fail("open " + FPath);
    }
    struct termios LTerm {};
    if (tcgetattr(LSlave, &LTerm) == 0) {
        cfmakeraw(&LTerm);
        cfsetspeed(&LTerm, B0);
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

bool TPtyPort::DrainInput() {
    bool LFlushed = false;
    uint8_t LScratch[512];
    ssize_t LRead;
    while ((LRead = read(FMaster, LScratch, sizeof LScratch)) > 0)
        if (LScratch[0] != TIOCPKT_DATA && (LScratch[0] & TIOCPKT_FLUSHREAD) != 0)
            LFlushed = true;
    return LFlushed;
}

size_t TPtyPort::Write(const uint8_t* AData, size_t ALength) {
    const ssize_t LDone = write(FMaster, AData, ALength);
    return LDone > 0 ? static_cast<size_t>(LDone) : 0;
}
