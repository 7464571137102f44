#include "Pty.h"

#include <chrono>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

TPty::TPty(TLine ALine) {
    FMaster = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char LName[128] = {};
    if (FMaster < 0 || grantpt(FMaster) != 0 || unlockpt(FMaster) != 0 ||
        ptsname_r(FMaster, LName, sizeof LName) != 0) {
        CloseMaster();
        return;
    }
    FSlave = LName;
    if (ALine == TLine::plRaw) {
        termios LTerm = Settings();
        cfmakeraw(&LTerm);
        tcsetattr(FMaster, TCSANOW, &LTerm);
    }
}

void TPty::CloseMaster() {
    if (FMaster >= 0)
        close(FMaster);
    FMaster = -1;
}

bool TPty::Send(const std::string& AData) const {
    size_t LDone = 0;
    while (LDone < AData.size()) {
        const ssize_t LPut = write(FMaster, AData.data() + LDone, AData.size() - LDone);
        if (LPut <= 0)
            return false;
        LDone += static_cast<size_t>(LPut);
    }
    return true;
}

std::string TPty::Receive(size_t ACount, int ATimeoutMs) const {
    using TClock = std::chrono::steady_clock;
    const auto LDeadline = TClock::now() + std::chrono::milliseconds(ATimeoutMs);
    std::string LGot;
    while (LGot.size() < ACount) {
        const auto LLeft =
            std::chrono::duration_cast<std::chrono::milliseconds>(LDeadline - TClock::now());
        pollfd LFd{FMaster, POLLIN, 0};
        if (LLeft.count() <= 0 || poll(&LFd, 1, static_cast<int>(LLeft.count())) != 1)
            break;
        char LBuffer[256];
        const ssize_t LRead = read(FMaster, LBuffer, sizeof LBuffer);
        if (LRead <= 0)
            break;
        LGot.append(LBuffer, static_cast<size_t>(LRead));
    }
    return LGot;
}

termios TPty::Settings() const {
    termios LTerm{};
    tcgetattr(FMaster, &LTerm);
    return LTerm;
}

int CountEntries(const char* ADir) {
    int LCount = 0;
    if (DIR* LDir = opendir(ADir)) {
        while (dirent* LEntry = readdir(LDir))
            LCount += LEntry->d_name[0] != '.';
        closedir(LDir);
    }
    return LCount;
}
