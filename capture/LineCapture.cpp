#include "capture/LineCapture.h"

#include <algorithm>
#include <fstream>
#include <iterator>

namespace {
constexpr char CMagic[8] = {'S', 'P', 'C', 'A', 'P', '\r', '\n', '\x1A'};

void PutLE(std::string& AOut, uint64_t AValue, int ABytes) {
    for (int I = 0; I < ABytes; ++I)
        AOut.push_back(static_cast<char>((AValue >> (8 * I)) & 0xFF));
}

uint64_t GetLE(std::string_view AIn, size_t AAt, int ABytes) {
    uint64_t LValue = 0;
    for (int I = ABytes - 1; I >= 0; --I)
        LValue = LValue << 8 | static_cast<uint8_t>(AIn[AAt + static_cast<size_t>(I)]);
    return LValue;
}

bool ValidParity(char AParity) {
    return AParity == 'N' || AParity == 'O' || AParity == 'E' || AParity == 'M' || AParity == 'S';
}

const char* StopBitsText(uint8_t AStopBits) {
    return AStopBits == 1 ? "1.5" : AStopBits == 2 ? "2" : "1";
}

bool ParseHeader(std::string_view ABytes, TCaptureHeader& AHeader, size_t& AEnd,
                 std::string& AError) {
    if (ABytes.size() < sizeof CMagic ||
        ABytes.substr(0, sizeof CMagic) != std::string_view(CMagic, sizeof CMagic)) {
        AError = "not a scaleprobe line capture (no capture header)";
        return false;
    }
    if (ABytes.size() < 10) {
        AError = "cut off in its header";
        return false;
    }
    const uint64_t LVersion = GetLE(ABytes, 8, 2);
    if (LVersion > CCaptureVersion) {
        AError = "capture format version " + std::to_string(LVersion) +
                 " is newer than this program reads (version " + std::to_string(CCaptureVersion) +
                 "); use a newer scaleprobe";
        return false;
    }
    if (LVersion == 0) {
        AError = "bad capture format version 0";
        return false;
    }
    if (ABytes.size() < CCaptureHeaderSize) {
        AError = "cut off in its header";
        return false;
    }
    TCaptureSettings& LSet = AHeader.Settings;
    LSet.BaudRate = static_cast<uint32_t>(GetLE(ABytes, 10, 4));
    LSet.DataBits = static_cast<uint8_t>(ABytes[14]);
    LSet.Parity = ABytes[15];
    LSet.StopBits = static_cast<uint8_t>(ABytes[16]);
    const std::string LSettings = std::to_string(LSet.BaudRate) + " baud, " +
                                  std::to_string(LSet.DataBits) + " data bits, parity byte " +
                                  std::to_string(static_cast<uint8_t>(LSet.Parity)) +
                                  ", stop bits code " + std::to_string(LSet.StopBits);
    if (LSet.BaudRate == 0 || LSet.DataBits < 5 || LSet.DataBits > 8 || !ValidParity(LSet.Parity) ||
        LSet.StopBits > 2 || ABytes[17] != 0) {
        AError = "bad header: " + LSettings;
        return false;
    }
    AHeader.StartUnixMicros = static_cast<int64_t>(GetLE(ABytes, 18, 8));
    const size_t LPortLength = GetLE(ABytes, 26, 2);
    if (ABytes.size() < CCaptureHeaderSize + LPortLength) {
        AError = "cut off in its header";
        return false;
    }
    AHeader.Port = std::string(ABytes.substr(CCaptureHeaderSize, LPortLength));
    AEnd = CCaptureHeaderSize + LPortLength;
    return true;
}
} // namespace

std::string FramingText(const TCaptureSettings& ASettings) {
    return std::to_string(ASettings.DataBits) + ASettings.Parity + StopBitsText(ASettings.StopBits);
}

bool ParseFraming(const std::string& AText, TCaptureSettings& ASettings, std::string& AError) {
    const std::string LStop = AText.size() >= 3 ? AText.substr(2) : "";
    const char LParity = AText.size() >= 2 ? AText[1] : '?';
    if (AText.size() < 3 || AText[0] < '5' || AText[0] > '8' || !ValidParity(LParity) ||
        (LStop != "1" && LStop != "1.5" && LStop != "2")) {
        AError = "bad framing '" + AText +
                 "' (data bits 5-8, parity N, E, O, M or S, stop bits 1, 1.5 or 2: e.g. 8N1, 7E1)";
        return false;
    }
    ASettings.DataBits = static_cast<uint8_t>(AText[0] - '0');
    ASettings.Parity = LParity;
    ASettings.StopBits = LStop == "1" ? 0 : LStop == "1.5" ? 1 : 2;
    return true;
}

std::string EncodeCaptureHeader(const TCaptureHeader& AHeader) {
    std::string LOut(CMagic, sizeof CMagic);
    PutLE(LOut, CCaptureVersion, 2);
    PutLE(LOut, AHeader.Settings.BaudRate, 4);
    LOut.push_back(static_cast<char>(AHeader.Settings.DataBits));
    LOut.push_back(AHeader.Settings.Parity);
    LOut.push_back(static_cast<char>(AHeader.Settings.StopBits));
    LOut.push_back('\0');
    PutLE(LOut, static_cast<uint64_t>(AHeader.StartUnixMicros), 8);
    const size_t LPort = std::min<size_t>(AHeader.Port.size(), 0xFFFF);
    PutLE(LOut, LPort, 2);
    LOut.append(AHeader.Port, 0, LPort);
    return LOut;
}

std::string EncodeCaptureBlock(uint64_t AMicros, const uint8_t* AData, size_t ALength) {
    std::string LOut;
    LOut.reserve(CCaptureBlockHead + ALength);
    PutLE(LOut, AMicros, 8);
    PutLE(LOut, ALength, 4);
    LOut.append(reinterpret_cast<const char*>(AData), ALength);
    return LOut;
}

bool ParseLineCapture(std::string_view ABytes, TLineCapture& ACapture, std::string& AError) {
    ACapture = TLineCapture();
    size_t LAt = 0;
    if (!ParseHeader(ABytes, ACapture.Header, LAt, AError))
        return false;
    while (LAt < ABytes.size()) {
        const std::string LWhere = "block " + std::to_string(ACapture.Blocks.size() + 1) +
                                   " (at byte " + std::to_string(LAt) + ")";
        if (ABytes.size() - LAt < CCaptureBlockHead) {
            AError = "cut off in " + LWhere;
            return false;
        }
        const uint64_t LMicros = GetLE(ABytes, LAt, 8);
        const uint64_t LLength = GetLE(ABytes, LAt + 8, 4);
        if (LLength == 0 || LLength > CCaptureMaxBlock) {
            AError = "bad " + LWhere + ": length " + std::to_string(LLength);
            return false;
        }
        if (!ACapture.Blocks.empty() && LMicros < ACapture.Blocks.back().Micros) {
            AError = "bad " + LWhere + ": its time goes back";
            return false;
        }
        if (ABytes.size() - LAt - CCaptureBlockHead < LLength) {
            AError = "cut off in " + LWhere;
            return false;
        }
        const auto LData = ABytes.substr(LAt + CCaptureBlockHead, LLength);
        ACapture.Blocks.push_back({LMicros, std::vector<uint8_t>(LData.begin(), LData.end())});
        LAt += CCaptureBlockHead + LLength;
    }
    return true;
}

bool ReadLineCaptureFile(const std::filesystem::path& AFile, TLineCapture& ACapture,
                         std::string& AError) {
    std::error_code LCode;
    const uintmax_t LSize = std::filesystem::file_size(AFile, LCode);
    if (LCode) {
        AError = LCode.message();
        return false;
    }
    if (LSize > CCaptureMaxFile) {
        AError = "larger than " + std::to_string(CCaptureMaxFile >> 20) + " MiB";
        return false;
    }
    std::ifstream LIn(AFile, std::ios::binary);
    std::string LBytes((std::istreambuf_iterator<char>(LIn)), std::istreambuf_iterator<char>());
    if (LIn.bad() || !LIn.is_open()) {
        AError = "cannot be read";
        return false;
    }
    return ParseLineCapture(LBytes, ACapture, AError);
}
