// The host date: nine bytes, "YYYYMMDD" and a zero; an empty date is nine
// zero bytes. The arithmetic the date services and the printout share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace welkor {

constexpr size_t kDateSize = 9;

struct Civil {
  int64_t year;
  int64_t month;
  int64_t day;
};

// Year, month and day of a host date; false for an empty or unreadable one.
bool readDate(const char* date, Civil& out);
void writeEmptyDate(char* date);
// The digits and their zero.
void writeDate(char* date, const Civil& d);

// Days since 1970-01-01 of a Gregorian date, and back (proleptic calendar).
int64_t daysFromCivil(Civil d);
Civil civilFromDays(int64_t z);

// "dd.mm.yyyy", or empty for an empty or unreadable date.
std::string displayDate(const char* date);
// The date `days` later into `out` (kDateSize bytes); false, with an empty
// date there, when the date is unreadable or the result leaves years 1-9999.
bool shiftedDate(const char* date, int32_t days, char* out);

}  // namespace welkor
