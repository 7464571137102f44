#include "platform/DateTime.h"

#include <cmath>
#include <mutex>

namespace {

std::mutex GNowLock;
std::function<TDateTime()> GNowOverride;

// Days from 1970-01-01 to the civil date (proleptic Gregorian).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

void CivilFromDays(long long z, long long& y, unsigned& m, unsigned& d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<long long>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y += m <= 2;
}

// 1899-12-30 is 25569 days before 1970-01-01.
constexpr long long CUnixEpochDays = 25569;

} // namespace

TDateTime EncodeDateTime(const TDateTimeParts& P) {
    const long long LDays = DaysFromCivil(P.Year, P.Month, P.Day) + CUnixEpochDays;
    const double LMs = ((P.Hour * 60.0 + P.Minute) * 60.0 + P.Second) * 1000.0 + P.MilliSecond;
    return static_cast<double>(LDays) + LMs / 86400000.0;
}

TDateTimeParts DecodeDateTime(TDateTime AValue) {
    // Work in whole milliseconds so that 23:59:59.9995 does not show as 24:00.
    const long long LTotalMs = std::llround(AValue * 86400000.0);
    long long LDays = LTotalMs / 86400000;
    long long LMsOfDay = LTotalMs % 86400000;
    if (LMsOfDay < 0) {
        LMsOfDay += 86400000;
        --LDays;
    }
    long long y = 0;
    unsigned m = 0, d = 0;
    CivilFromDays(LDays - CUnixEpochDays, y, m, d);
    TDateTimeParts P;
    P.Year = static_cast<uint16_t>(y);
    P.Month = static_cast<uint16_t>(m);
    P.Day = static_cast<uint16_t>(d);
    P.Hour = static_cast<uint16_t>(LMsOfDay / 3600000);
    P.Minute = static_cast<uint16_t>(LMsOfDay / 60000 % 60);
    P.Second = static_cast<uint16_t>(LMsOfDay / 1000 % 60);
    P.MilliSecond = static_cast<uint16_t>(LMsOfDay % 1000);
    return P;
}

TDateTime Now() {
    {
        std::lock_guard<std::mutex> L(GNowLock);
        if (GNowOverride)
            return GNowOverride();
    }
    return EncodeDateTime(LocalNowParts());
}

void SetNowOverride(std::function<TDateTime()> AClock) {
    std::lock_guard<std::mutex> L(GNowLock);
    GNowOverride = std::move(AClock);
}

std::u16string FormatTimeOfDay(TDateTime AValue) {
    const TDateTimeParts P = DecodeDateTime(AValue);
    auto Two = [](unsigned V) {
        return std::u16string{static_cast<char16_t>(u'0' + V / 10 % 10),
                              static_cast<char16_t>(u'0' + V % 10)};
    };
    std::u16string LResult = Two(P.Hour) + u":" + Two(P.Minute) + u":" + Two(P.Second) + u" ";
    LResult.push_back(static_cast<char16_t>(u'0' + P.MilliSecond / 100 % 10));
    LResult += Two(P.MilliSecond % 100);
    return LResult;
}
