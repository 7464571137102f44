#include "PortReader.h"

#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace {

speed_t SpeedOf(uint32_t ABaud) {
    switch (ABaud) {
    case 600:
        return B600;
    case 1200:
        return B1200;
    case 2400:
        return B2400;
    case 4800:
        return B4800;
    case 9600:
        return B9600;
    case 19200:
        return B19200;
    case 38400:
        return B38400;
    case 57600:
        return B57600;
    case 115200:
        return B115200;
    default:
        throw std::runtime_error("no speed constant for " + std::to_string(ABaud));
    }
}

} // namespace

TPortReader::TPortReader(const std::string& APath, uint32_t ABaud, bool ATwoStopBits)
    : FTwoStopBits(ATwoStopBits) {
    FFd = open(APath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (FFd < 0)
        throw std::runtime_error("cannot open " + APath);
    SetBaud(ABaud);
}

TPortReader::~TPortReader() {
    if (FFd >= 0)
        close(FFd);
}

void TPortReader::SetBaud(uint32_t ABaud) {
    struct termios LTerm {};
    tcgetattr(FFd, &LTerm);
    cfmakeraw(&LTerm);
    cfsetspeed(&LTerm, SpeedOf(ABaud));
    if (FTwoStopBits)
        LTerm.c_cflag |= CSTOPB;
    else
        LTerm.c_cflag &= ~static_cast<tcflag_t>(CSTOPB);
    tcsetattr(FFd, TCSANOW, &LTerm);
}

void TPortReader::Flush() {
    tcflush(FFd, TCIFLUSH);
}

std::vector<uint8_t> TPortReader::ReadFor(int AMs) {
    std::vector<uint8_t> LOut;
    const auto LEnd = std::chrono::steady_clock::now() + std::chrono::milliseconds(AMs);
    while (true) {
        const auto LLeft = std::chrono::duration_cast<std::chrono::milliseconds>(
                               LEnd - std::chrono::steady_clock::now())
                               .count();
        if (LLeft <= 0)
            break;
        struct pollfd LPoll {
            FFd, POLLIN, 0
        };
        if (poll(&LPoll, 1, static_cast<int>(LLeft)) <= 0)
            continue;
        uint8_t LChunk[1024];
        const ssize_t LGot = read(FFd, LChunk, sizeof LChunk);
        if (LGot > 0)
            LOut.insert(LOut.end(), LChunk, LChunk + LGot);
    }
    return LOut;
}
