#include "zeld/dates.h"

#include <cstdio>
#include <cstring>

namespace zeld {
namespace {

constexpr const char* kMonths[12] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                     "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};

bool TwoDigits(std::string_view text, size_t at, int* value) {
    if (text[at] < '0' || text[at] > '9' || text[at + 1] < '0' || text[at + 1] > '9') return false;
    *value = (text[at] - '0') * 10 + (text[at + 1] - '0');
    return true;
}

int DaysIn(int month, int year) {
    static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 1 && leap ? 29 : kDays[month];
}

}  // namespace

void FormatDate(time_t when, char out[kDateLength + 1]) {
    struct tm parts;
    if (gmtime_r(&when, &parts) == nullptr) {
        when = 0;
        gmtime_r(&when, &parts);
    }
    char text[32];
    std::snprintf(text, sizeof text, "%02u-%s-%02u %02u:%02u:%02u", static_cast<unsigned>(parts.tm_mday) % 100,
                  kMonths[parts.tm_mon % 12], static_cast<unsigned>(parts.tm_year % 100 + 100) % 100,
                  static_cast<unsigned>(parts.tm_hour) % 100, static_cast<unsigned>(parts.tm_min) % 100,
                  static_cast<unsigned>(parts.tm_sec) % 100);
    std::memcpy(out, text, kDateLength);
    out[kDateLength] = '\0';
}

bool ParseDate(std::string_view text, time_t* when) {
    if (text.size() != kDateLength || text[2] != '-' || text[6] != '-' || text[9] != ' ' || text[12] != ':' ||
        text[15] != ':') {
        return false;
    }
    struct tm parts {};
    int year = 0;
    if (!TwoDigits(text, 0, &parts.tm_mday) || !TwoDigits(text, 7, &year) || !TwoDigits(text, 10, &parts.tm_hour) ||
        !TwoDigits(text, 13, &parts.tm_min) || !TwoDigits(text, 16, &parts.tm_sec)) {
        return false;
    }
    parts.tm_mon = -1;
    for (int month = 0; month < 12; ++month) {
        if (text.substr(3, 3) == kMonths[month]) parts.tm_mon = month;
    }
    if (parts.tm_mon < 0 || parts.tm_mday < 1 || parts.tm_mday > 31 || parts.tm_hour > 23 || parts.tm_min > 59 ||
        parts.tm_sec > 60) {
        return false;
    }
    parts.tm_year = year < 70 ? year + 100 : year;
    // A day the month does not have (31-APR, 29-FEB of a common year) is
    // no date: timegm would carry it into the next month.
    if (parts.tm_mday > DaysIn(parts.tm_mon, parts.tm_year + 1900)) return false;
    *when = timegm(&parts);
    return true;
}

}  // namespace zeld
