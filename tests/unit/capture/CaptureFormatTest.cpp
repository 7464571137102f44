// The line capture's file format: what is written reads back, and every
// kind of damaged or foreign file is refused with its reason.
#include "capture/LineCapture.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Sample() {
    TCaptureHeader LHeader;
    LHeader.Settings = {19200, 7, 'E', 2};
    LHeader.StartUnixMicros = -5; // before 1970: the sign survives
    LHeader.Port = "/dev/ttyUSB0";
    const uint8_t LFirst[] = {0x02, 0x2B, 0x00, 0xFF};
    const uint8_t LSecond[] = {0x03};
    return EncodeCaptureHeader(LHeader) + EncodeCaptureBlock(1000, LFirst, sizeof LFirst) +
           EncodeCaptureBlock(0x1122334455ull, LSecond, sizeof LSecond);
}

TEST(CaptureFormat, WhatIsWrittenReadsBackByteForByte) {
    const std::string LBytes = Sample();
    // The fixed layout: magic, version 1, 19200 little-endian, 7, 'E', 2.
    EXPECT_EQ(LBytes.substr(0, 14), std::string("SPCAP\r\n\x1A\x01\x00\x00\x4B\x00\x00", 14));
    TLineCapture LCapture;
    std::string LError;
    ASSERT_TRUE(ParseLineCapture(LBytes, LCapture, LError)) << LError;
    EXPECT_EQ(LCapture.Header.Settings.BaudRate, 19200u);
    EXPECT_EQ(FramingText(LCapture.Header.Settings), "7E2");
    EXPECT_EQ(LCapture.Header.StartUnixMicros, -5);
    EXPECT_EQ(LCapture.Header.Port, "/dev/ttyUSB0");
    ASSERT_EQ(LCapture.Blocks.size(), 2u);
    EXPECT_EQ(LCapture.Blocks[0].Micros, 1000u);
    EXPECT_EQ(LCapture.Blocks[0].Bytes, (std::vector<uint8_t>{0x02, 0x2B, 0x00, 0xFF}));
    EXPECT_EQ(LCapture.Blocks[1].Micros, 0x1122334455ull);
    // A header alone is a capture in which nothing arrived.
    ASSERT_TRUE(ParseLineCapture(EncodeCaptureHeader({}), LCapture, LError)) << LError;
    EXPECT_TRUE(LCapture.Blocks.empty());
}

TEST(CaptureFormat, RefusesDamagedAndForeignFiles) {
    const std::string LGood = Sample();
    const size_t LHeader = CCaptureHeaderSize + 12;
    std::string LNewer = LGood;
    LNewer[8] = 2;
    std::string LZero = LGood;
    LZero[8] = 0;
    std::string LBaud = LGood;
    LBaud.replace(10, 4, std::string(4, '\0'));
    std::string LParity = LGood;
    LParity[15] = 'X';
    std::string LEmptyBlock = LGood;
    LEmptyBlock.replace(LHeader + 8, 4, std::string(4, '\0'));
    std::string LHuge = LGood;
    LHuge.replace(LHeader + 8, 4, std::string("\x01\x00\x01\x00", 4));
    std::string LBack = LGood;
    LBack.replace(LHeader + 16, 8, std::string(8, '\0')); // second block at time 0
    const struct {
        const char* Name;
        std::string Bytes;
        const char* Error;
    } CCases[] = {
        {"empty", "", "not a scaleprobe line capture"},
        {"text", "weight 1000 kg\r\n", "not a scaleprobe line capture"},
        {"magic mangled by a text-mode copy", "SPCAP\n\x1A" + LGood.substr(8),
         "not a scaleprobe line capture"},
        {"newer version", LNewer, "capture format version 2 is newer than this program reads"},
        {"version 0", LZero, "bad capture format version 0"},
        {"cut in the fixed header", LGood.substr(0, 20), "cut off in its header"},
        {"cut in the port name", LGood.substr(0, CCaptureHeaderSize + 3), "cut off in its header"},
        {"baud rate 0", LBaud, "bad header: 0 baud"},
        {"unknown parity", LParity, "bad header"},
        {"cut in a block's head", LGood.substr(0, LHeader + 5), "cut off in block 1 (at byte 40)"},
        {"cut in a block's bytes", LGood.substr(0, LGood.size() - 1), "cut off in block 2"},
        {"block of no bytes", LEmptyBlock, "bad block 1 (at byte 40): length 0"},
        {"block over the limit", LHuge, "length 65537"},
        {"time going back", LBack, "bad block 2 (at byte 56): its time goes back"},
    };
    for (const auto& LCase : CCases) {
        TLineCapture LCapture;
        std::string LError;
        EXPECT_FALSE(ParseLineCapture(LCase.Bytes, LCapture, LError)) << LCase.Name;
        EXPECT_NE(LError.find(LCase.Error), std::string::npos) << LCase.Name << ": " << LError;
    }
}

TEST(CaptureFormat, FramingTextRoundTrips) {
    for (const char* LText : {"8N1", "7E1", "7O2", "8N1.5", "5S1", "6M2"}) {
        TCaptureSettings LSettings;
        std::string LError;
        ASSERT_TRUE(ParseFraming(LText, LSettings, LError)) << LText;
        EXPECT_EQ(FramingText(LSettings), LText);
    }
    for (const char* LText : {"", "8N", "9N1", "4N1", "8X1", "8n1", "8N3", "8N1.0", "7E1 "}) {
        TCaptureSettings LSettings;
        std::string LError;
        EXPECT_FALSE(ParseFraming(LText, LSettings, LError)) << LText;
        EXPECT_NE(LError.find("bad framing"), std::string::npos) << LError;
    }
}

} // namespace
