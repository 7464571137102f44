// A pseudo-terminal whose master side the test holds; programs and
// components open the other side by its path. Raw unless asked otherwise:
// nothing is echoed or turned into signals.
#pragma once

#include "platform/Text.h"

#include <cstdint>
#include <string>
#include <vector>

// <termios.h>'s; not included here, as tests of the kernel's own termios
// include this header too.
struct termios;

class TPty {
public:
    // AsMade: the line as the kernel makes it (cooked), for tests of what
    // a component sets up by itself.
    enum class TLine { plRaw, plAsMade };
    explicit TPty(TLine ALine = TLine::plRaw);
    ~TPty() { CloseMaster(); }
    TPty(const TPty&) = delete;
    TPty& operator=(const TPty&) = delete;

    // False when no pseudo-terminal could be made.
    bool IsOpen() const { return FMaster >= 0; }
    int Master() const { return FMaster; }
    const std::string& SlavePath() const { return FSlave; }
    UnicodeString SlaveName() const { return Utf8ToUnicode(FSlave); }
    void CloseMaster();

    // Writes all of AData (blocking).
    bool Send(const std::string& AData) const;
    bool Send(const std::vector<uint8_t>& AData) const {
        return Send(std::string(AData.begin(), AData.end()));
    }
    // Reads from the master until ACount bytes came or ATimeoutMs passed.
    std::string Receive(size_t ACount, int ATimeoutMs) const;
    // The line's settings.
    termios Settings() const;

private:
    int FMaster = -1;
    std::string FSlave;
};

// The entries of a folder such as /proc/self/fd.
int CountEntries(const char* ADir);
