// The capture reader on arbitrary bytes: it never crashes, and what it reads
// is written back to the same bytes' meaning (a second read gives the same).
#include "capture/LineCapture.h"

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* AData, size_t ASize) {
    TLineCapture LCapture;
    std::string LError;
    if (!ParseLineCapture(std::string_view(reinterpret_cast<const char*>(AData), ASize), LCapture,
                          LError))
        return 0;
    std::string LBytes = EncodeCaptureHeader(LCapture.Header);
    for (const TCaptureBlock& LBlock : LCapture.Blocks)
        LBytes += EncodeCaptureBlock(LBlock.Micros, LBlock.Bytes.data(), LBlock.Bytes.size());
    TLineCapture LAgain;
    if (!ParseLineCapture(LBytes, LAgain, LError))
        std::abort();
    if (LAgain.Header.Port != LCapture.Header.Port ||
        LAgain.Header.StartUnixMicros != LCapture.Header.StartUnixMicros ||
        LAgain.Header.Settings.BaudRate != LCapture.Header.Settings.BaudRate ||
        LAgain.Header.Settings.DataBits != LCapture.Header.Settings.DataBits ||
        LAgain.Header.Settings.Parity != LCapture.Header.Settings.Parity ||
        LAgain.Header.Settings.StopBits != LCapture.Header.Settings.StopBits ||
        LAgain.Blocks.size() != LCapture.Blocks.size())
        std::abort();
    for (size_t I = 0; I < LAgain.Blocks.size(); ++I)
        if (LAgain.Blocks[I].Micros != LCapture.Blocks[I].Micros ||
            LAgain.Blocks[I].Bytes != LCapture.Blocks[I].Bytes)
            std::abort();
    return 0;
}
