#include "platform/DateTime.h"

#include <ctime>

TDateTimeParts LocalNowParts() {
    timespec LNow{};
    clock_gettime(CLOCK_REALTIME, &LNow);
    tm LTm{};
    localtime_r(&LNow.tv_sec, &LTm);
    TDateTimeParts P;
    P.Year = static_cast<uint16_t>(LTm.tm_year + 1900);
    P.Month = static_cast<uint16_t>(LTm.tm_mon + 1);
    P.Day = static_cast<uint16_t>(LTm.tm_mday);
    P.Hour = static_cast<uint16_t>(LTm.tm_hour);
    P.Minute = static_cast<uint16_t>(LTm.tm_min);
    P.Second = static_cast<uint16_t>(LTm.tm_sec);
    P.MilliSecond = static_cast<uint16_t>(LNow.tv_nsec / 1000000);
    return P;
}
