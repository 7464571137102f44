// The simulated indicator: its weight sequence, its frames and the noise it
// adds, all deterministic for a given seed.
#pragma once

#include "tools/scaleprobe-sim/SimOptions.h"

#include <cstdint>
#include <string>
#include <vector>

// A small deterministic generator (SplitMix64), the same on every platform.
class TSimRandom {
public:
    explicit TSimRandom(uint64_t ASeed) : FState(ASeed) {}
    uint64_t Next();
    // Uniform in [0, 1).
    double NextUnit() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }

private:
    uint64_t FState;
};

// The weights shown, frame after frame:
//   const:V              V for ever
//   ramp:FROM:TO:STEP    FROM, FROM+STEP, ... up to TO, then TO
//   settle:TARGET[:FROM] a damped swing from FROM (default 0) onto TARGET
//   list:V1,V2,...       the values in turn, over and over
class TWeightSequence {
public:
    bool Parse(const std::string& ASpec);
    // The value of the AIndex-th step (0-based).
    double At(uint64_t AIndex) const;

private:
    enum class TKind { wkConst, wkRamp, wkSettle, wkList };
    TKind FKind = TKind::wkConst;
    double FFrom = 0, FTo = 0, FStep = 0;
    std::vector<double> FValues;
};

// The integer an indicator with ADecimals places shows for AWeight (sign
// dropped), capped at 999999; AOverload tells whether it was capped.
uint32_t DisplayDigits(double AWeight, int ADecimals, bool& AOverload);

// The weight a decoder makes of ADigits shown with ADecimals places.
double DisplayedWeight(uint32_t ADigits, int ADecimals, bool ANegative);

// 0x02, sign, six digits (or leading blanks), decimal places, two hex digits
// of the XOR of bytes 1 to 8, 0x03.
void EncodeKeliFrame(double AWeight, int ADecimals, bool ABlankPad, uint8_t (&AOut)[12]);
// 0xFF, status (decimal code, stable, sign, overload), three BCD bytes, low first.
void EncodeXK3168Frame(double AWeight, int ADecimals, bool AStable, uint8_t (&AOut)[5]);

// STX, SWA (decimal code, increment 1), SWB (gross, sign, range, motion,
// unit), SWC, the six digits of the weight, six of a zero tare, CR and, with
// AChecksum, the two's complement of the seven-bit sum of the bytes before.
std::vector<uint8_t> EncodeContinuousStxFrame(double AWeight, int ADecimals, bool AInMotion,
                                              bool APounds, bool AChecksum);

// "=" and the display of AChars places (the sign, the digits and, with
// decimals, the point) lowest place first.
std::string EncodeReversedEqFrame(double AWeight, int ADecimals, uint32_t AChars);

// APrefix, the shown weight ('-' when negative, ADecimals places), AUnit and
// CR LF.
std::string EncodeAsciiLine(double AWeight, int ADecimals, const std::string& APrefix,
                            const std::string& AUnit);

// Frame after frame of the configured indicator, noise included.
class TSimIndicator {
public:
    explicit TSimIndicator(const TSimOptions& AOptions);
    // Appends the bytes of the next frame (after the garbage, the first
    // time) to AOut.
    void NextFrame(std::vector<uint8_t>& AOut);
    // The weight of the frame made last, as the matching decoder reads it.
    double LastWeight() const { return FLastWeight; }
    uint64_t FramesMade() const { return FFrames; }
    // Bytes of one frame on the line (of the last one, for ascii lines).
    size_t FrameLength() const;

private:
    void PutByte(uint8_t AByte, std::vector<uint8_t>& AOut);

    TSimOptions FOptions;
    TWeightSequence FSequence;
    TSimRandom FRandom;
    uint64_t FFrames = 0;
    double FLastWeight = 0;
    double FPrevious[2] = {0, 0};
    size_t FLastLength = 0;
};
