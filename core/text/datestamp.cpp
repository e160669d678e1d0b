#include "core/text/datestamp.h"

#include <cstdio>

namespace {

const char MonthNames[12][10] = {"January",   "February", "March",    "April",
                                 "May",       "June",     "July",     "August",
                                 "September", "October",  "November", "December"};
const char OrdinalSuffixes[5][3] = {"th", "st", "nd", "rd", "th"};

// Formats into a string; the buffer is large enough for any int fields.
template <typename... Args> std::string Format(const char* format, Args... args) {
    char buffer[128];
    std::snprintf(buffer, sizeof buffer, format, args...);
    return buffer;
}

const char* MonthName(int month0) {
    return (month0 >= 0 && month0 < 12) ? MonthNames[month0] : "???";
}

} // namespace

std::tm ReadLocalTime() {
    std::time_t now = std::time(nullptr);
    std::tm result{};
    localtime_r(&now, &result);
    return result;
}

const char* DayOrdinalSuffix(int day) {
    int index = (day >= 10 && day <= 13) ? 4 : day % 10;
    if (index < 0 || index > 4)
        index = 4;
    return OrdinalSuffixes[index];
}

std::string FormatDateStamp(int bFourDigitYear, unsigned style, const LocalClock& clock) {
    const std::tm t = clock();
    const int d = t.tm_mday;
    const int m = t.tm_mon + 1;
    const long fullYear = static_cast<long>(t.tm_year) + 1900;
    long shortYear = fullYear % 100;
    if (shortYear < 0)
        shortYear += 100;
    const std::string y = bFourDigitYear ? Format("%04ld", fullYear) : Format("%02ld", shortYear);
    const std::string mon(MonthName(t.tm_mon), 3);
    const char* month = MonthName(t.tm_mon);
    const char* sfx = DayOrdinalSuffix(d);
    switch (style) {
    case 1: return Format("%02d%02d%s", d, m, y.c_str());
    case 2: return Format("%s/%02d/%02d", y.c_str(), m, d);
    case 3: return Format("%s%02d%02d", y.c_str(), m, d);
    case 4: return Format("%02d%s%s", d, mon.c_str(), y.c_str());
    case 5: return Format("%02d %s %s", d, mon.c_str(), y.c_str());
    case 6: return Format("%02d%s %s %s", d, sfx, mon.c_str(), y.c_str());
    case 7: return Format("%2d %s %s", d, month, y.c_str());
    case 8: return Format("%2d%s %s %s", d, sfx, month, y.c_str());
    default: return Format("%02d/%02d/%s", d, m, y.c_str());
    }
}

std::string FormatTimeStamp(int style, const LocalClock& clock) {
    const std::tm t = clock();
    if (style == 1)
        return Format("%02d%02d%02d", t.tm_hour, t.tm_min, t.tm_sec);
    return Format("%02d:%02d:%02d", t.tm_hour, t.tm_min, t.tm_sec);
}
