#include "core/text/datestamp.h"

#include <gtest/gtest.h>

namespace {

LocalClock Fixed(int year, int month, int day, int hour = 14, int minute = 3, int second = 9) {
    return [=] {
        std::tm t{};
        t.tm_year = year - 1900;
        t.tm_mon = month - 1;
        t.tm_mday = day;
        t.tm_hour = hour;
        t.tm_min = minute;
        t.tm_sec = second;
        return t;
    };
}

struct DateCase {
    unsigned style;
    const char* dec5;      // 5 December 2026, four-digit year
    const char* jan1;      // 1 January 2000, four-digit year
    const char* dec5Short; // 5 December 2026, two-digit year
};

TEST(FormatDateStamp, EveryStyle) {
    const DateCase cases[] = {
        {1, "05122026", "01012000", "051226"},
        {2, "2026/12/05", "2000/01/01", "26/12/05"},
        {3, "20261205", "20000101", "261205"},
        {4, "05Dec2026", "01Jan2000", "05Dec26"},
        {5, "05 Dec 2026", "01 Jan 2000", "05 Dec 26"},
        {6, "05th Dec 2026", "01st Jan 2000", "05th Dec 26"},
        {7, " 5 December 2026", " 1 January 2000", " 5 December 26"},
        {8, " 5th December 2026", " 1st January 2000", " 5th December 26"},
        {0, "05/12/2026", "01/01/2000", "05/12/26"},
        {9, "05/12/2026", "01/01/2000", "05/12/26"},
        {0xFFFFFFFFu, "05/12/2026", "01/01/2000", "05/12/26"},
    };
    for (const DateCase& c : cases) {
        EXPECT_EQ(FormatDateStamp(1, c.style, Fixed(2026, 12, 5)), c.dec5) << c.style;
        EXPECT_EQ(FormatDateStamp(1, c.style, Fixed(2000, 1, 1)), c.jan1) << c.style;
        EXPECT_EQ(FormatDateStamp(0, c.style, Fixed(2026, 12, 5)), c.dec5Short) << c.style;
    }
    EXPECT_EQ(FormatDateStamp(0, 0, Fixed(2000, 1, 1)), "01/01/00");
    EXPECT_EQ(FormatDateStamp(0, 3, Fixed(2000, 1, 1)), "000101");
    EXPECT_EQ(FormatDateStamp(1, 8, Fixed(2026, 9, 30)), "30th September 2026");
    EXPECT_EQ(FormatDateStamp(1, 6, Fixed(1999, 5, 31)), "31st May 1999");
}

TEST(DayOrdinalSuffix, EnglishOrdinals) {
    const std::pair<int, const char*> cases[] = {
        {1, "st"},  {2, "nd"},  {3, "rd"},  {4, "th"},  {10, "th"}, {11, "th"},
        {12, "th"}, {13, "th"}, {14, "th"}, {21, "st"}, {22, "nd"}, {23, "rd"},
        {30, "th"}, {31, "st"}, {0, "th"},  {-1, "th"}, {-3, "th"}};
    for (auto [day, sfx] : cases)
        EXPECT_STREQ(DayOrdinalSuffix(day), sfx) << day;
}

TEST(FormatTimeStamp, CompactAndWithColons) {
    EXPECT_EQ(FormatTimeStamp(1, Fixed(2026, 12, 5, 14, 3, 9)), "140309");
    EXPECT_EQ(FormatTimeStamp(0, Fixed(2026, 12, 5, 14, 3, 9)), "14:03:09");
    EXPECT_EQ(FormatTimeStamp(2, Fixed(2026, 12, 5, 0, 0, 0)), "00:00:00");
}

} // namespace
