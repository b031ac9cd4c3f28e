#include "ksef/time_text.h"

#include <chrono>
#include <cstdio>

namespace kw::ksef::timetext {

namespace {

// Days since 1970-01-01 of a proleptic Gregorian date, and back.
long long daysFromCivil(long long year, long long month, long long day) {
  year -= month <= 2;
  long long era = (year >= 0 ? year : year - 399) / 400;
  long long yearOfEra = year - era * 400;
  long long dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
  long long dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + dayOfEra - 719468;
}

void civilFromDays(long long days, long long& year, long long& month, long long& day) {
  long long z = days + 719468;
  long long era = (z >= 0 ? z : z - 146096) / 146097;
  long long dayOfEra = z - era * 146097;
  long long yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
  long long dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
  long long monthIndex = (5 * dayOfYear + 2) / 153;
  day = dayOfYear - (153 * monthIndex + 2) / 5 + 1;
  month = monthIndex < 10 ? monthIndex + 3 : monthIndex - 9;
  year = yearOfEra + era * 400 + (month <= 2);
}

}  // namespace

long long unixNow() {
  return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

std::string utcIso(long long unixSeconds) {
  long long days = unixSeconds / 86400, rest = unixSeconds % 86400;
  if (rest < 0) {
    rest += 86400;
    --days;
  }
  long long year, month, day;
  civilFromDays(days, year, month, day);
  char text[96];
  std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ", year, month, day, rest / 3600,
                rest / 60 % 60, rest % 60);
  return text;
}

bool midnightOf(const std::string& yyyymmdd, long long& unixSeconds) {
  if (yyyymmdd.size() != 8) return false;
  for (char c : yyyymmdd)
    if (c < '0' || c > '9') return false;
  long long year = std::stoll(yyyymmdd.substr(0, 4)), month = std::stoll(yyyymmdd.substr(4, 2)),
            day = std::stoll(yyyymmdd.substr(6, 2));
  if (month < 1 || month > 12 || day < 1 || day > 31) return false;
  unixSeconds = daysFromCivil(year, month, day) * 86400;
  return true;
}

}  // namespace kw::ksef::timetext
