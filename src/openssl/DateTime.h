#pragma once
// Local date-times as the system counts them: days since 30.12.1899, the fraction is the time
// of day.

#include <ctime>
#include <string>

namespace brelo {

using TDateTime = double;

/// EConvertError for a date or time that does not exist.
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute, int second);
void DecodeDate(TDateTime value, int& year, int& month, int& day);
/// The current local date-time.
TDateTime Now();
/// A moment given in seconds since 1970 UTC, as local date-time (with the daylight-saving
/// rule in force at that moment).
TDateTime UnixToLocal(std::time_t seconds);
/// "dd.mm.yyyy".
std::string FormatDate(TDateTime value);

}  // namespace brelo
