// Types shared by the search, the instrument clients and the configuration.
#pragma once

#include "platform/Events.h"
#include "platform/Text.h"

#include <array>
#include <cstdint>

// Serial line settings handed from the search to a client.
struct TConfigComm {
    UnicodeString CommName;
    int32_t BaudRate = 0;
    int32_t ReadIntervalTimeout = 0; // milliseconds
    int32_t StopBits = 0;            // 0 one, 1 one and a half, 2 two; else left alone
};

struct TConfigDoorController {
    UnicodeString IP;
    int32_t Port = 0;
};

struct TConfigVZClient {
    UnicodeString IP;
    int32_t Port = 0;
    UnicodeString ClientId;
};

// 8-bit fields hold the text in the system's ANSI code page.
struct TConfigHCCamera {
    AnsiString IP;
    int32_t Port = 0;
    AnsiString User;
    AnsiString Pwd;
};

struct TConfigLED {
    AnsiString IP;
    int32_t Port = 0;
};

// The candidate baud rates, in the order the search tries them.
inline constexpr std::array<int32_t, 6> CBaudRateAry{600, 1200, 2400, 4800, 9600, 19200};

using TOnNewWeightNotify = TEvent<void(double AValue)>;
// Returns true to accept the stable weight.
using TOnStableWeightNotify = TEvent<bool(double AValue)>;
using TShowStrProc = TEvent<void(bool IsShowDialogForm, const UnicodeString& S)>;
