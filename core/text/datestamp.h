#pragma once
// The current local date and time as English text in fixed layouts.

#include <ctime>
#include <functional>
#include <string>

// Where a stamp takes the time from: each call of a stamp reads it exactly once.
using LocalClock = std::function<std::tm()>;

// The current local time of the machine.
std::tm ReadLocalTime();

// The two-letter English ordinal suffix for a day of the month ("st", "nd", "rd", "th").
const char* DayOrdinalSuffix(int day);

// The date in one of nine styles (1 to 8; every other value is day/month/year), with a four-
// or two-digit year. At most 19 characters for any real date.
std::string FormatDateStamp(int bFourDigitYear, unsigned style,
                            const LocalClock& clock = ReadLocalTime);

// The time as hhmmss (style 1) or hh:mm:ss (every other style), on the 24-hour clock.
std::string FormatTimeStamp(int style, const LocalClock& clock = ReadLocalTime);
