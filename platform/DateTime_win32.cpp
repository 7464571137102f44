#include "platform/DateTime.h"

#include "platform/Windows_win32.h"

TDateTimeParts LocalNowParts() {
    SYSTEMTIME LNow{};
    GetLocalTime(&LNow);
    TDateTimeParts P;
    P.Year = LNow.wYear;
    P.Month = LNow.wMonth;
    P.Day = LNow.wDay;
    P.Hour = LNow.wHour;
    P.Minute = LNow.wMinute;
    P.Second = LNow.wSecond;
    P.MilliSecond = LNow.wMilliseconds;
    return P;
}
