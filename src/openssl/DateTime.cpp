#include "openssl/DateTime.h"

#include <chrono>
#include <cmath>

#include "core/Exceptions.h"
#include "core/Format.h"

namespace brelo {

namespace {
constexpr int DaysFrom1899To1970 = 25569;

TDateTime FromTm(const std::tm& tm, double fraction = 0) {
    return EncodeDateTime(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec) +
           fraction / 86400.0;
}
}  // namespace

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second) {
    using namespace std::chrono;
    const year_month_day date{std::chrono::year(year), std::chrono::month(static_cast<unsigned>(month)),
                              std::chrono::day(static_cast<unsigned>(day))};
    if (!date.ok() || year < 1 || year > 9999 || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
        second < 0 || second > 59) {
        throw EConvertError(Format("Invalid date-time %d.%d.%d %d:%d:%d", {day, month, year, hour, minute, second}));
    }
    const int days = sys_days(date).time_since_epoch().count() + DaysFrom1899To1970;
    return days + (hour * 3600 + minute * 60 + second) / 86400.0;
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
    using namespace std::chrono;
    const sys_days days{std::chrono::days(static_cast<int>(std::floor(value)) - DaysFrom1899To1970)};
    const year_month_day date{days};
    year = static_cast<int>(date.year());
    month = static_cast<int>(static_cast<unsigned>(date.month()));
    day = static_cast<int>(static_cast<unsigned>(date.day()));
}

TDateTime UnixToLocal(std::time_t seconds) {
    std::tm tm{};
    if (localtime_r(&seconds, &tm) == nullptr) {
        return EncodeDateTime(1970, 1, 1, 0, 0, 0) + static_cast<double>(seconds) / 86400.0;
    }
    return FromTm(tm);
}

TDateTime Now() {
    const auto now = std::chrono::system_clock::now().time_since_epoch();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm tm{};
    localtime_r(&seconds, &tm);
    return FromTm(tm, static_cast<double>(ms % 1000) / 1000.0);
}

std::string FormatDate(TDateTime value) {
    int year = 0, month = 0, day = 0;
    DecodeDate(value, year, month, day);
    return Format("%.2d.%.2d.%.4d", {day, month, year});
}

}  // namespace brelo
