// A line capture: the line settings a port was read at, then every read's
// bytes with the time it was delivered. The file format (all integers
// little-endian):
//
//   header   8  magic "SPCAP" CR LF 0x1A
//            2  format version (CCaptureVersion)
//            4  baud rate
//            1  data bits, 5 to 8
//            1  parity: 'N', 'O', 'E', 'M' or 'S'
//            1  stop bits: 0 one, 1 one and a half, 2 two
//            1  reserved, 0
//            8  start of the capture, microseconds since 1970-01-01 UTC (signed)
//            2  length P of the port name
//            P  port name, UTF-8
//   blocks, each:
//            8  microseconds since the start, never less than the block before
//            4  length L, 1 to CCaptureMaxBlock
//            L  the bytes of one read
//
// The blocks run to the end of the file; a file cut inside a block is refused.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

inline constexpr uint16_t CCaptureVersion = 1;
inline constexpr uint32_t CCaptureMaxBlock = 65536;
inline constexpr size_t CCaptureHeaderSize = 28; // without the port name
inline constexpr size_t CCaptureBlockHead = 12;
// A capture file larger than this is refused before it is read.
inline constexpr uintmax_t CCaptureMaxFile = 256u << 20;

struct TCaptureSettings {
    uint32_t BaudRate = 9600;
    uint8_t DataBits = 8;
    char Parity = 'N';    // 'N', 'O', 'E', 'M' or 'S'
    uint8_t StopBits = 0; // 0 one, 1 one and a half, 2 two
};

struct TCaptureHeader {
    TCaptureSettings Settings;
    int64_t StartUnixMicros = 0;
    std::string Port;
};

struct TCaptureBlock {
    uint64_t Micros = 0;
    std::vector<uint8_t> Bytes;
};

struct TLineCapture {
    TCaptureHeader Header;
    std::vector<TCaptureBlock> Blocks;
};

// "8N1", "7E1", "8N1.5", "8N2".
std::string FramingText(const TCaptureSettings& ASettings);
// Reads that text into ASettings' data bits, parity and stop bits; false with
// AError set when it is none.
bool ParseFraming(const std::string& AText, TCaptureSettings& ASettings, std::string& AError);

// The header's bytes; a port name over 65535 bytes is cut.
std::string EncodeCaptureHeader(const TCaptureHeader& AHeader);
// One block's bytes; ALength is 1 to CCaptureMaxBlock.
std::string EncodeCaptureBlock(uint64_t AMicros, const uint8_t* AData, size_t ALength);

// Reads a whole capture; false with AError set (a short text without the
// file's name) for anything that is not a whole capture of this version.
bool ParseLineCapture(std::string_view ABytes, TLineCapture& ACapture, std::string& AError);
// Reads the file AFile and parses it; AError names what went wrong, not the
// file.
bool ReadLineCaptureFile(const std::filesystem::path& AFile, TLineCapture& ACapture,
                         std::string& AError);
