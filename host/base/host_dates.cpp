#include "host_dates.h"

#include <cstdio>
#include <cstring>

namespace welkor {

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

void writeDate(char* date, const Civil& d) {
  char text[32];
  std::snprintf(text, sizeof text, "%04d%02d%02d", static_cast<int>(d.year), static_cast<int>(d.month),
                static_cast<int>(d.day));
  std::memcpy(date, text, kDateSize);
}

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

std::string displayDate(const char* date) {
  Civil d;
  if (!readDate(date, d)) return "";
  char text[32];
  std::snprintf(text, sizeof text, "%02d.%02d.%04d", static_cast<int>(d.day), static_cast<int>(d.month),
                static_cast<int>(d.year));
  return text;
}

bool shiftedDate(const char* date, int32_t days, char* out) {
  Civil d;
  if (!readDate(date, d)) {
    writeEmptyDate(out);
    return false;
  }
  const Civil shifted = civilFromDays(daysFromCivil(d) + days);
  if (shifted.year < 1 || shifted.year > 9999) {
    writeEmptyDate(out);
    return false;
  }
  writeDate(out, shifted);
  return true;
}

}  // namespace welkor
