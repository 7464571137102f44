#include "platform/DateTime.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

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
