// Local date and time as days since 30 December 1899, time of day as fraction.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

using TDateTime = double;

struct TDateTimeParts {
    uint16_t Year = 0, Month = 0, Day = 0;
    uint16_t Hour = 0, Minute = 0, Second = 0, MilliSecond = 0;
};

// The current local date and time (backend), unless a test has set a clock.
TDateTime Now();

// Tests move the clock: a function that gives "now"; an empty one restores
// the system clock.
void SetNowOverride(std::function<TDateTime()> AClock);

TDateTime EncodeDateTime(const TDateTimeParts& AParts);
TDateTimeParts DecodeDateTime(TDateTime AValue);

// "hh:nn:ss zzz"
std::u16string FormatTimeOfDay(TDateTime AValue);

// Local time from the backend, as parts.
TDateTimeParts LocalNowParts();
