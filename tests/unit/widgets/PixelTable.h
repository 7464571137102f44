// The pixels a picture must have, as a table: each point with its colour.
#pragma once

#include "ui/Bitmap.h"

#include <span>
#include <string>
#include <vector>

struct TPixelRow {
    int32_t X, Y;
    TColor Colour;
};

// "x,y: shown" for each row the bitmap does not match; empty when all do.
inline std::vector<std::string> WrongPixels(const TBitmap& ABitmap,
                                            std::span<const TPixelRow> ARows) {
    std::vector<std::string> LWrong;
    for (const TPixelRow& LRow : ARows)
        if (const TColor LShown = ABitmap.Pixel(LRow.X, LRow.Y); LShown != LRow.Colour)
            LWrong.push_back(std::to_string(LRow.X) + "," + std::to_string(LRow.Y) + ": " +
                             std::to_string(LShown));
    return LWrong;
}

using TWrongPixels = std::vector<std::string>;
