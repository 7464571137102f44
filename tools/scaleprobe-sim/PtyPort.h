// The simulator's end of a pseudo-terminal: the application opens the other
// end as its serial port.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class TPtyPort {
public:
    // Opens a new pseudo-terminal whose port rests raw and hung up (speed 0)
    // while nobody has set its speed. Throws std::runtime_error.
    TPtyPort();
    ~TPtyPort();
    TPtyPort(const TPtyPort&) = delete;
    TPtyPort& operator=(const TPtyPort&) = delete;

    const std::string& Path() const { return FPath; }
    // True while some process has the port open.
    bool PeerOpen() const;
    // The baud rate and stop bits (2 for two, else 1) that the application
    // set on the port; false when they cannot be read.
    bool LineSettings(uint32_t& ABaud, uint32_t& AStopBits) const;
    // Reads and discards what the application sent; true when the
    // application has flushed its input since the last call (a purge, as at
    // every open): bytes made before then must not reach it any more.
    bool DrainInput();
    // Writes what the port takes now; the rest is lost, as in an overrun.
    size_t Write(const uint8_t* AData, size_t ALength);

private:
    int FMaster = -1;
    std::string FPath;
};

// Reads the line speed and stop bits of the terminal behind AFd, also rates
// without a constant of their own. False when the call fails.
bool ReadTerminalSpeed(int AFd, uint32_t& ABaud, bool& ATwoStopBits);
