// Host services: values. The host date is nine bytes, "YYYYMMDD" and a zero;
// an empty date is nine zero bytes.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "host_state.h"
#include "service_impl.h"

using namespace welkor;

namespace {

constexpr size_t kDateSize = 9;

struct Civil {
  int64_t year;
  int64_t month;
  int64_t day;
};

// Year, month and day of a host date; false for an empty or unreadable one.
bool readDate(const char* date, Civil& out) {
  if (!date) return false;
  int64_t digits[8];
  for (int i = 0; i < 8; ++i) {
    if (date[i] < '0' || date[i] > '9') return false;
    digits[i] = date[i] - '0';
  }
  out.year = digits[0] * 1000 + digits[1] * 100 + digits[2] * 10 + digits[3];
  out.month = digits[4] * 10 + digits[5];
  out.day = digits[6] * 10 + digits[7];
  return out.month >= 1 && out.month <= 12 && out.day >= 1 && out.day <= 31;
}

void writeEmptyDate(char* date) { std::memset(date, 0, kDateSize); }

// The digits and their zero.
void writeDate(char* date, const Civil& d) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d%02d%02d", static_cast<int>(d.year), static_cast<int>(d.month),
                static_cast<int>(d.day));
  std::memcpy(date, text, kDateSize);
}

// Days since 1970-01-01 of a Gregorian date, and back (proleptic calendar).
int64_t daysFromCivil(Civil d) {
  int64_t y = d.month <= 2 ? d.year - 1 : d.year;
  int64_t era = (y >= 0 ? y : y - 399) / 400;
  int64_t yoe = y - era * 400;
  int64_t doy = (153 * (d.month + (d.month > 2 ? -3 : 9)) + 2) / 5 + d.day - 1;
  int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

Civil civilFromDays(int64_t z) {
  z += 719468;
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  Civil d;
  d.day = doy - (153 * mp + 2) / 5 + 1;
  d.month = mp < 10 ? mp + 3 : mp - 9;
  d.year = yoe + era * 400 + (d.month <= 2 ? 1 : 0);
  return d;
}

struct Moment {
  Civil date;
  int hour;
  int minute;
  int second;
};

// The fixed moment of WELKOR_NOW ("YYYY-MM-DD hh:mm"), else the clock.
Moment now() {
  const char* fixed = std::getenv("WELKOR_NOW");
  int y, mo, d, h, mi;
  char tail;
  if (fixed && std::sscanf(fixed, "%4d-%2d-%2d %2d:%2d%c", &y, &mo, &d, &h, &mi, &tail) == 5 && mo >= 1 && mo <= 12 &&
      d >= 1 && d <= 31 && h >= 0 && h < 24 && mi >= 0 && mi < 60)
    return Moment{{y, mo, d}, h, mi, 0};
  std::time_t t = std::time(nullptr);
  const std::tm* local = std::localtime(&t);
  if (!local) return Moment{{1970, 1, 1}, 0, 0, 0};
  return Moment{
      {local->tm_year + 1900, local->tm_mon + 1, local->tm_mday}, local->tm_hour, local->tm_min, local->tm_sec};
}

}  // namespace

// vatRate: the rate of the code in the database; an unknown code gives 0.
double WELKOR_SERVICE(52314, vatRate)(int32_t code) {
  const auto& rates = state().db.vatRates;
  auto found = rates.find(code);
  return found == rates.end() ? 0.0 : found->second;
}

// amountNonZero: the stored amount in units of the resolution, rounded half
// away from zero, is not 0.
int32_t WELKOR_SERVICE(52178, amountNonZero)(double amount, int32_t resolution) {
  double scaled = resolution > 0 ? amount / resolution : amount;
  return std::round(scaled) != 0.0 ? 1 : 0;
}

// dateText: DD.MM.YYYY; an empty date gives the empty text.
char* WELKOR_SERVICE(32008, dateText)(char* out, const char* date) {
  if (!out) return out;
  Civil d;
  if (!readDate(date, d)) {
    out[0] = '\0';
    return out;
  }
  std::snprintf(out, 11, "%02d.%02d.%04d", static_cast<int>(d.day), static_cast<int>(d.month),
                static_cast<int>(d.year));
  return out;
}

// today: the host date of the clock (or of WELKOR_NOW).
char* WELKOR_SERVICE(30204, today)(char* out) {
  if (!out) return out;
  Moment m = now();
  writeDate(out, m.date);
  return out;
}

// timeText: form 2 is "hh:mm", any other "hh:mm:ss".
char* WELKOR_SERVICE(30308, timeText)(char* out, int32_t form) {
  if (!out) return out;
  Moment m = now();
  if (form == 2)
    std::snprintf(out, 6, "%02d:%02d", m.hour, m.minute);
  else
    std::snprintf(out, 9, "%02d:%02d:%02d", m.hour, m.minute, m.second);
  return out;
}

// splitDate: year, month and day; an empty date gives 0, 0, 0. Non-zero when
// the date was read.
int32_t WELKOR_SERVICE(30520, splitDate)(const char* date, int16_t* year, int16_t* month, int16_t* day, int32_t) {
  Civil d{0, 0, 0};
  bool read = readDate(date, d);
  if (!read) d = Civil{0, 0, 0};
  if (year) *year = static_cast<int16_t>(d.year);
  if (month) *month = static_cast<int16_t>(d.month);
  if (day) *day = static_cast<int16_t>(d.day);
  return read ? 1 : 0;
}

// addDays: the date that many days later (earlier when negative); an empty
// date, or one that would leave the years 0001 to 9999, gives the empty date.
int32_t WELKOR_SERVICE(31012, addDays)(const char* date, char* out, int32_t days) {
  if (!out) return 0;
  Civil d;
  if (!readDate(date, d)) {
    writeEmptyDate(out);
    return 0;
  }
  Civil shifted = civilFromDays(daysFromCivil(d) + days);
  if (shifted.year < 1 || shifted.year > 9999) {
    writeEmptyDate(out);
    return 0;
  }
  writeDate(out, shifted);
  return 1;
}
