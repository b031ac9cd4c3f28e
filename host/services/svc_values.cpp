// Host services: values. The host date is nine bytes, "YYYYMMDD" and a zero;
// an empty date is nine zero bytes.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "host_dates.h"
#include "host_state.h"
#include "service_impl.h"

using namespace welkor;

namespace {

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
  const std::string text = displayDate(date);
  std::memcpy(out, text.c_str(), text.size() + 1);
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
  return shiftedDate(date, days, out) ? 1 : 0;
}
