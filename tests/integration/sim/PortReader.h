// The application's end of a simulator port, opened directly for tests.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

class TPortReader {
public:
    // Opens APath raw at ABaud (a standard rate), two stop bits when asked.
    TPortReader(const std::string& APath, uint32_t ABaud, bool ATwoStopBits = false);
    ~TPortReader();
    TPortReader(const TPortReader&) = delete;
    TPortReader& operator=(const TPortReader&) = delete;

    void SetBaud(uint32_t ABaud);
    // Discards what has arrived so far.
    void Flush();
    // Everything that arrives within AMs milliseconds.
    std::vector<uint8_t> ReadFor(int AMs);

private:
    int FFd = -1;
    bool FTwoStopBits;
};
